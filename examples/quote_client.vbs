' VokQuotes from a script: create the object by its ProgID and use the members a script host can
' reach through IDispatch. The server address and logon are set by the hosting application through
' the private settings interface, so this script only starts and stops a connection attempt.
'
'   cscript //nologo quote_client.vbs
Option Explicit

Dim quotes, result, i
Set quotes = CreateObject("Vokhaldex.VokQuotes")
WScript.Echo "connection state: " & quotes.ConnectionState
WScript.Echo "server address:   [" & quotes.RemoteAddress & "]"

result = quotes.Connect()
WScript.Echo "Connect returned " & result & " (10035: an attempt is under way)"
For i = 1 To 5
  WScript.Sleep 200
  WScript.Echo "connection state: " & quotes.ConnectionState & ", server [" & quotes.ServerName & "]"
Next

quotes.Disconnect
WScript.Echo "disconnected, state " & quotes.ConnectionState
Set quotes = Nothing
