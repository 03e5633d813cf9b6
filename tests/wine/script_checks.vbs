' A VBScript client of the registered KWOLFunc.dll, as the add-in's scripts
' call it: by ProgID and by name, properties put and read, a ByRef variable
' passed, an optional argument left out, and a failing call's error number.
Dim failures
failures = 0
Sub Check(ok, what)
    If ok Then
        WScript.Echo "ok   " & what
    Else
        WScript.Echo "FAIL " & what
        failures = failures + 1
    End If
End Sub

Set f = CreateObject("KWOLFunc.Functions")
Check TypeName(f) = "_Functions", "created by ProgID, named by its type information (" & TypeName(f) & ")"
' (Wine's VBScript has no ChrW; the C++ client passes other Unicode text.)
f.ProfileName = "Work " & "Profile"
Check f.ProfileName = "Work Profile", "ProfileName is put and read by name"
f.DisableVoting = True
Check f.DisableVoting = True, "DisableVoting is put and read by name"
f.RecheckFolder = False
Check f.RecheckFolder = False, "RecheckFolder is put and read by name"

' No spam client is installed here: the calls reach the component, which
' reports the missing object and fails with 65535; a ByRef variable is
' passed by reference and an optional argument may be left out.
folder = "ID"
On Error Resume Next
name = f.GetFolderName(folder)
Check Err.Number = 65535, "GetFolderName(folder) fails with 65535 (" & Err.Number & ")"
Check folder = "ID", "and the caller's variable is left as it was"
Err.Clear
list = f.GetContactlist()
Check Err.Number = 65535, "GetContactlist() with its optional argument left out (" & Err.Number & ")"
Err.Clear
f.NoSuchMember
Check Err.Number = 438, "an unknown member is refused (" & Err.Number & ")"
On Error Goto 0
Set f = Nothing
WScript.Echo failures & " failed"
WScript.Quit failures
