' A VBScript client of the registered KWOLFunc.dll, as the add-in's scripts
' call it, against the stand-ins of the registered KWStandins.dll (laid out
' and read back through KWStandins.Control): by ProgID and by name, the mail
' variable passed by reference and cleared, optional arguments left out, a
' failing call's report, properties put and read, and at the end every
' stand-in object released.
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

' The component leaves a cleared object variable Nothing.
Function IsNothing(v)
    IsNothing = False
    If IsObject(v) Then IsNothing = v Is Nothing
End Function

Function CallCount(prefix)
    CallCount = 0
    calls = ctl.Calls(prefix)
    If calls <> "" Then CallCount = UBound(Split(calls, vbLf)) + 1
End Function

Set ctl = CreateObject("KWStandins.Control")
Set f = CreateObject("KWOLFunc.Functions")
Check TypeName(f) = "_Functions", "created by ProgID, named by its type information (" & TypeName(f) & ")"

Set ns = ctl.Namespace
Set inbox = ctl.DefaultFolder(6)
ctl.Vote "lottery", 90
f.CreateFolder ns
Check CallCount("Folders(Mailbox).Add(""Kestrelwood""") = 1, "CreateFolder makes the spam folder next to the Inbox"

headers = "From: someone@example.org" & vbCrLf & "Subject: Hello" & vbCrLf & "Content-Type: text/plain" & vbCrLf & vbCrLf
Set junk = ctl.AddMail(inbox, headers, "win the lottery")
Set ham = ctl.AddMail(inbox, headers, "see you at lunch")
Set mail = junk
f.CheckMail ns, mail, 9.0, True
Check IsNothing(mail), "CheckMail of spam clears the mail variable"
Set mail = ham
f.CheckMail ns, mail, 9.0, True
Check IsNothing(mail), "CheckMail of ham clears the mail variable"
Check CallCount("SpamClientCOM.QueryVote(") = 2, "the spam client is asked once per mail"
Check ctl.FolderOf(junk) = "Kestrelwood", "spam is moved into the spam folder (" & ctl.FolderOf(junk) & ")"
Check ctl.FolderOf(ham) = "Inbox", "ham stays in the Inbox (" & ctl.FolderOf(ham) & ")"
Check CallCount("Folders(Mailbox).Add(") = 1, "and CheckMail does not make it again"

Set mail = ham
f.BlockMail ns, mail, 9.0
Check IsNothing(mail) And ctl.FolderOf(ham) = "Kestrelwood" And ctl.SubmittedVotes = "100", _
      "BlockMail moves the mail into the spam folder, votes 100 and clears the variable"
Set mail = ham
f.UnBlockMail ns, mail, 9.0
Check IsNothing(mail) And ctl.FolderOf(ham) = "Inbox" And ctl.SubmittedVotes = "100 -100", _
      "UnBlockMail moves it back into the Inbox, votes -100 and clears the variable"
Check ham.UnRead, "unblocked mail is unread"

id = inbox.EntryID
Check f.GetFolderPath(id) = "Mailbox/Inbox/", "GetFolderPath runs from the top folder"
Check id = inbox.EntryID, "and leaves the caller's FolderID as it was"
Check CallCount("Application.create(") = 1, "without a namespace given, the component made the Outlook application"

' VBScript has no named arguments: withName is passed by position.
ctl.AddContact ctl.DefaultFolder(10), "Ann", "ann@example.org"
Check f.GetContactlist() = "|ann@example.org|", "GetContactlist() with its optional argument left out"
Check f.GetContactlist(True) = "|ann@example.org" & Chr(0) & "Ann|", "GetContactlist(True) with names"
ctl.ProfileName = "Work"
Check f.GetProfileName() = "Work", "GetProfileName answers the mail helper's profile"

' A failing Outlook call: the report reaches the error-report component with
' the failure's own number and text, and the call fails with 65535.
Set archive = ctl.AddFolder(inbox.Parent, "Archive")
ctl.FailOn "Folder(Archive).Name", 1, &H80004005, "The store is offline"
id = archive.EntryID
On Error Resume Next
name = f.GetFolderName(id)
Check Err.Number = 65535, "a failing GetFolderName fails with 65535 (" & Err.Number & ")"
Err.Clear
f.NoSuchMember
Check Err.Number = 438, "an unknown member is refused (" & Err.Number & ")"
On Error Goto 0
Check id = archive.EntryID, "and the caller's variable is left as it was"
Check ctl.ReportCount = 1, "one report reaches the error-report component (" & ctl.ReportCount & ")"
If ctl.ReportCount = 1 Then
    Check ctl.Report(1, "Number") = &H80004005 And ctl.Report(1, "Procedure") = "GetFolderName", _
          "the report names the procedure and the failure's number (" & ctl.Report(1, "Number") & ")"
    Check ctl.Report(1, "Description") = "The store is offline", "the report carries the failure's own text"
    Check InStr(ctl.Report(1, "Text"), "The store is offline") > 0, "and so does the report's text"
End If

' (Wine's VBScript has no ChrW; the C++ client passes other Unicode text.)
f.ProfileName = "Work " & "Profile"
Check f.ProfileName = "Work Profile", "ProfileName is put and read by name"
f.DisableVoting = True
Check f.DisableVoting = True, "DisableVoting is put and read by name"
f.RecheckFolder = False
Check f.RecheckFolder = False, "RecheckFolder is put and read by name"

Set f = Nothing
Check ctl.Calls("UNEXPECTED ") = "", "no call the stand-ins did not expect"
Set mail = Nothing
Set junk = Nothing
Set ham = Nothing
Set inbox = Nothing
Set archive = Nothing
Set ns = Nothing
Check ctl.Finish() = 0, "every stand-in object was released"
WScript.Echo failures & " failed"
WScript.Quit failures
