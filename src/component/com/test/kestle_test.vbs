' Drives Kestle.dll from VBScript the way a host script does: variables are
' passed by reference (VT_BYREF|VT_VARIANT), literals by value.
'
' Usage: cscript //nologo kestle_test.vbs <input.iif> <expected.iif> <output.iif> <missing.iif>
' Prints "vbscript: N passed, N failed" and quits with the number of failures.
Option Explicit

Dim passed, failed
passed = 0
failed = 0

Sub Check(ok, what)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAILED: " & what
  End If
End Sub

Function ReadAll(path)
  Dim fso, stream
  Set fso = CreateObject("Scripting.FileSystemObject")
  Set stream = fso.OpenTextFile(path, 1)
  ReadAll = stream.ReadAll
  stream.Close
End Function

Dim args, inFile, expectedFile, outFile, missingFile
Set args = WScript.Arguments
inFile = args(0)
expectedFile = args(1)
outFile = args(2)
missingFile = args(3)

' IIF conversion, arguments passed as variables.
Dim parser
Set parser = CreateObject("Kestle.ParseIIF")
parser.parseFile inFile, outFile
Check ReadAll(outFile) = ReadAll(expectedFile), "parseFile output equals the expected file"
Check inFile = args(0), "parseFile leaves its arguments unchanged"

' A failed conversion raises error 53 with its description.
On Error Resume Next
parser.parseFile missingFile, outFile
Check Err.Number = 53, "a missing input raises error 53 (got " & Err.Number & ")"
Check Err.Description = "File not found", "error description (got " & Err.Description & ")"
Err.Clear
On Error GoTo 0

' archiveNow with Nothing: the error path gives -2 (the box goes to the log).
Dim archiver, db, lpcDate, endDate, result
Set archiver = CreateObject("Kestle.Archiver")
Set db = Nothing
lpcDate = DateSerial(2025, 7, 1)
endDate = DateSerial(2025, 6, 30)
result = archiver.archiveNow(db, lpcDate, endDate)
Check result = -2, "archiveNow(Nothing) returns -2 (got " & result & ")"
Check lpcDate = DateSerial(2025, 7, 1), "archiveNow leaves its dates unchanged"
result = archiver.archiveNowAll(Nothing, DateSerial(2025, 6, 30), DateSerial(2025, 6, 30))
Check result = -1, "archiveNowAll on one calendar day returns -1 (got " & result & ")"

' Ship_FedEx's error fields stay empty.
Dim fedex
Set fedex = CreateObject("Kestle.Ship_FedEx")
Check fedex.getLastErr = 0, "getLastErr is 0"
Check fedex.getLastErrMsg = "", "getLastErrMsg is empty"

' Ship_UPS has no getLastErr.
Dim ups
Set ups = CreateObject("Kestle.Ship_UPS")
On Error Resume Next
result = ups.getLastErr
Check Err.Number <> 0, "Ship_UPS.getLastErr fails"
Err.Clear
On Error GoTo 0

WScript.Echo "vbscript: " & passed & " passed, " & failed & " failed"
WScript.Quit failed
