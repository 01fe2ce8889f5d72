Attribute VB_Name = "QuoteSheet"
' VokQuote in Excel: a live level 1 board on the active sheet. Import this module and the class
' module QuoteSink.cls (File > Import File), then add a reference to "VokQuote 2.0 Type Library"
' (Tools > References; register VokQuote.dll with regsvr32 first, the 64-bit DLL for 64-bit
' Office). Run StartQuotes, later StopQuotes. The server and logon come from the per-user settings
' (ConfigureQuotes, or the VBScript example); updates arrive on Excel's own thread through
' QuoteSink, which implements IVokQuotesNotify.
Option Explicit

Private m_quotes As VOKQUOTELib.VokQuotes
Private m_sink As QuoteSink

' Stores the server and logon for this Windows user (the password protected, never in clear).
Public Sub ConfigureQuotes()
    Dim settings As New VOKQUOTELib.VokQuotesSettings
    settings.Server = InputBox("Quote server (host:port)", "VokQuote", settings.Server)
    settings.UserName = InputBox("User name", "VokQuote", settings.UserName)
    settings.Password = InputBox("Password", "VokQuote")
    settings.Save
End Sub

' Symbols in column A from row 2 down; the board fills columns B to F.
Public Sub StartQuotes()
    StopQuotes
    Set m_quotes = New VOKQUOTELib.VokQuotes
    Set m_sink = New QuoteSink
    Set m_sink.Target = ActiveSheet
    ActiveSheet.Range("A1:F1").Value = Array("Symbol", "Last", "Bid", "Ask", "Volume", "Time (UTC)")
    m_quotes.Connect
    Dim row As Long
    row = 2
    Do While ActiveSheet.Cells(row, 1).Value <> ""
        m_quotes.AdviseSymbol m_sink, UCase$(Trim$(ActiveSheet.Cells(row, 1).Value)), qsfLevelOne
        row = row + 1
    Loop
    Application.StatusBar = "VokQuote: connecting (state " & m_quotes.ConnectionState & ")"
End Sub

Public Sub StopQuotes()
    If Not m_quotes Is Nothing Then
        If Not m_sink Is Nothing Then m_quotes.UnadviseAll m_sink
        m_quotes.Disconnect
    End If
    Set m_sink = Nothing
    Set m_quotes = Nothing
    Application.StatusBar = False
End Sub

' One quote without a subscription: waits up to two seconds while Excel keeps running.
Public Sub ShowSingleQuote()
    Dim quotes As New VOKQUOTELib.VokQuotes
    Dim rec As VOKQUOTELib.QUOTERECORD
    quotes.Connect
    rec = quotes.GetSingleQuote(InputBox("Symbol", "VokQuote", "MSFT"), 2000)
    If rec.bstrSymbol = "" Then
        MsgBox "No quote arrived (connection state " & quotes.ConnectionState & ")."
    Else
        MsgBox rec.bstrSymbol & ": last " & rec.dLast & ", bid " & rec.dBid & ", ask " & rec.dAsk
    End If
    quotes.Disconnect
End Sub
