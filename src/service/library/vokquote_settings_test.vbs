' A script that knows nothing but the two ProgIDs: it stores the server, logon, immediate delivery
' and a capture file through the settings class, connects a VokQuotes object, waits for the logon,
' reads the server name and finds the capture begun, then removes the settings again. Arguments: the quote server's host and port. Prints OK last (Wine's
' cscript exits 0 even after a script error, so ctest looks for it); WScript.Sleep is missing
' there, so waiting busy-loops on Timer.
Option Explicit

Sub Check(condition, what)
  If Not condition Then
    WScript.Echo "FAILED: " & what
    WScript.Quit 1
  End If
End Sub

Function WaitForState(quotes, wanted, seconds)
  Dim started, state
  started = Timer
  Do
    state = quotes.ConnectionState
    If state = wanted Then Exit Do
    ' Timer restarts at midnight.
    If Timer - started > seconds Or Timer < started Then Exit Do
  Loop
  WaitForState = state
End Function

Check WScript.Arguments.Count = 2, "usage: vokquote_settings_test.vbs HOST PORT"
Dim server
server = WScript.Arguments(0) & ":" & WScript.Arguments(1)

Dim settings
Set settings = CreateObject("Vokhaldex.VokQuotesSettings")
WScript.Echo "VokQuote " & settings.Version
settings.Server = server
settings.UserName = "vokuser"
settings.Password = "vokpass"
settings.ImmediateDelivery = True
Dim fso, capture
Set fso = CreateObject("Scripting.FileSystemObject")
capture = fso.BuildPath(fso.GetSpecialFolder(2), "vokquote_settings_test.vokcap")
If fso.FileExists(capture) Then fso.DeleteFile capture
settings.CaptureFile = capture
settings.Save
Set settings = Nothing

Dim quotes, state
Set quotes = CreateObject("Vokhaldex.VokQuotes")
Check quotes.Connect() = 10035, "Connect reports an attempt under way"
state = WaitForState(quotes, 4, 20)
WScript.Echo "ConnectionState " & state
Check state = 4, "logged on within 20 s"
WScript.Echo "ServerName " & quotes.ServerName
Check quotes.ServerName <> "", "a server name after the logon"
quotes.Disconnect
Check quotes.ConnectionState = 0, "disconnected"
Set quotes = Nothing
' The recording still holds the file open for writing, which a reader here may not share.
Check fso.FileExists(capture), "the capture file was started at Connect"
Check fso.GetFile(capture).Size > 0, "the capture holds what the logon brought"

Set settings = CreateObject("Vokhaldex.VokQuotesSettings")
Check settings.Server = server, "the saved server reads back"
Check settings.ImmediateDelivery And settings.CaptureFile = capture, "the saved delivery and capture read back"
settings.ImmediateDelivery = False
settings.CaptureFile = ""
settings.Server = ""
settings.UserName = ""
settings.Password = ""
settings.Save
WScript.Echo "OK"
WScript.Quit 0
