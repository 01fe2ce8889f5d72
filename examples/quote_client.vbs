' VokQuotes from a script: store the quote server and logon once in the per-user settings, then
' connect, wait for the logon and read the connection's state and server name. Scripts reach the
' component only through IDispatch: they can call every member, but VBScript cannot read the
' records (use VBA, .NET or C++ for quotes) and cannot receive events.
'
'   cscript //nologo quote_client.vbs [HOST:PORT USER PASSWORD]
'
' With arguments the settings are saved first (the password protected for this Windows user);
' without, the saved settings are used.
Option Explicit

Dim settings, quotes, started, state
Set settings = CreateObject("Vokhaldex.VokQuotesSettings")
WScript.Echo "VokQuote " & settings.Version
If WScript.Arguments.Count = 3 Then
  settings.Server = WScript.Arguments(0)
  settings.UserName = WScript.Arguments(1)
  settings.Password = WScript.Arguments(2)
  settings.Save
  WScript.Echo "settings saved"
End If
WScript.Echo "server " & settings.Server & ", user " & settings.UserName
If settings.Server = "" Then
  WScript.Echo "no server configured: cscript quote_client.vbs HOST:PORT USER PASSWORD"
  WScript.Quit 2
End If
Set settings = Nothing

Set quotes = CreateObject("Vokhaldex.VokQuotes")
WScript.Echo "Connect returned " & quotes.Connect() & " (10035: an attempt is under way)"
started = Timer
Do
  state = quotes.ConnectionState
  If state = 4 Or Timer - started > 20 Or Timer < started Then Exit Do
  WScript.Sleep 100
Loop
WScript.Echo "connection state " & state & " (4: logged on), server [" & quotes.ServerName & "]"

quotes.Disconnect
WScript.Echo "disconnected, state " & quotes.ConnectionState
Set quotes = Nothing
If state <> 4 Then WScript.Quit 1
