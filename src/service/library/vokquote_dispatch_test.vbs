' The VokQuotes object as a script host drives it: created by both ProgIDs, read and called only
' through IDispatch by name. Prints OK at the end and exits 1 on the first failed check (ctest runs
' it with Wine's cscript after registering the DLL; a script error there still exits 0, so ctest
' looks for the OK). Wine's cscript cannot connect events to script procedures; a C++ client that
' finds the event interface the way script hosts do covers them.
Option Explicit

Sub Check(condition, what)
  If Not condition Then
    WScript.Echo "FAILED: " & what
    WScript.Quit 1
  End If
End Sub

Dim progId, quotes
For Each progId In Array("Vokhaldex.VokQuotes", "Vokhaldex.VokQuotes.1")
  Set quotes = CreateObject(progId)
  Check TypeName(quotes) = "IVokQuotes", progId & ": TypeName is " & TypeName(quotes)
  Check quotes.ConnectionState = 0, progId & ": a new object is disconnected"
  Check quotes.ServerName = "", progId & ": no server name before a logon"
  Check quotes.RemoteAddress = "", progId & ": no address until the host sets one"
  quotes.Disconnect
  Check quotes.ConnectionState = 0, progId & ": still disconnected"

  ' Nothing to connect to: the attempt is started and reported as under way.
  Check quotes.Connect() = 10035, progId & ": Connect reports an attempt under way"
  quotes.Disconnect
  Check quotes.ConnectionState = 0, progId & ": disconnected again"
  Set quotes = Nothing
Next

WScript.Echo "OK"
WScript.Quit 0
