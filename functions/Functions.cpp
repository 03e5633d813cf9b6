// The per-call lifecycle of every public method: store the namespace where
// the method has one, InitCOM, the work only while Outlook is attached, clear
// the caller's mail variable where there is one, UnInitCOM.
#include "functions/Functions.h"

#include "errorcapture/DumpVariable.h"

namespace kw {

namespace {
thread_local ComPtr<_Application> tOutlookApplication;
}

ComPtr<_Application> threadOutlookApplication(Site at) {
    if (!tOutlookApplication) tOutlookApplication = createObject<_Application>(outlook::CLSID_Application, at);
    return tOutlookApplication;
}

void releaseThreadOutlookApplication() noexcept { tOutlookApplication.reset(); }

Text Functions::DumpModuleVariables() const {
    const Binding members[] = {
        KW_VAR(DisableVoting), KW_VAR(ProfileName), KW_VAR(RecheckFolder), KW_VAR(ObjOutlook),
        KW_VAR(ObjNS),         KW_VAR(objMailItem), KW_VAR(ObjError),      KW_VAR(Outlookversion),
        KW_VAR(SafeMailItem),  KW_VAR(objMAPIUtil), KW_VAR(SpamClientCOM), KW_VAR(SpamClientMD5),
    };
    Text out;
    for (const Binding& member : members) out += DumpVariable(member.name(), *member.read(), 99, 4);
    return out;
}

void Functions::InitCOM(Site at) {
    Procedure(*this, u"InitCOM", at).run([&] {
        if (!ObjNS) {
            // Attaching never fails the call: each step is tried, a failure
            // is skipped, and any failure marks the object for good.
            bool attached = ignoringFailure([&] { ObjOutlook = threadOutlookApplication(); });
            attached &= ignoringFailure([&] { ObjNS = outlook::GetNamespace(ObjOutlook, u"MAPI"); });
            attached &= ignoringFailure([&] { outlook::Logon(ObjNS); });
            if (!attached) ObjError = true;
        }
        SpamClientCOM = createObject<_SpamClientCOM>(spamclient::CLSID_SpamClientCOM);
        SpamClientMD5 = createObject<_SpamClientMD5>(spamclient::CLSID_SpamClientMD5);
        SafeMailItem = createObject<IKWMailItem>(Text(mailhelper::kMailItemProgId));
    });
}

void Functions::UnInitCOM(Site at) {
    Procedure(*this, u"UnInitCOM", at).run([&] {
        ObjOutlook = nullptr;
        ObjNS = nullptr;
        SpamClientCOM = nullptr;
        SpamClientMD5 = nullptr;
        SafeMailItem = nullptr;
    });
}

Text Functions::PickFolder(Text& FolderID, Boolean& SPAMfolder) {
    Text result;
    Variant MailboxFolder, FolderPath;
    return Procedure(*this, u"PickFolder", Site::none())
        .locals({KW_EXTERNAL(mFolder), KW_EXTERNAL(inboxFolder), KW_VAR(MailboxFolder), KW_VAR(FolderPath)})
        .params({KW_VAR(FolderID), KW_VAR(SPAMfolder)})
        .run([&] {
            perCall([] {});
            return result;
        });
}

Text Functions::GetFolderName(Text& FolderID) {
    Text result;
    return Procedure(*this, u"GetFolderName", Site::none())
        .locals({KW_EXTERNAL(mFolder)})
        .params({KW_VAR(FolderID)})
        .run([&] {
            perCall([] {});
            return result;
        });
}

Text Functions::GetFolderPath(Text& FolderID) {
    Text result, FolderPath, LastFolderID;
    return Procedure(*this, u"GetFolderPath", Site::none())
        .locals({KW_EXTERNAL(mFolder), KW_VAR(FolderPath), KW_VAR(LastFolderID)})
        .params({KW_VAR(FolderID)})
        .run([&] {
            perCall([] {});
            return result;
        });
}

Text Functions::GetContactlist(Boolean& withName) {
    Text result, ContactList;
    ComPtr<MAPIFolder> cContacts, cFolder;
    return Procedure(*this, u"GetContactlist", Site::none())
        .locals({KW_VAR(cContacts), KW_VAR(cFolder), KW_VAR(ContactList)})
        .params({KW_VAR(withName)})
        .run([&] {
            perCall([] {});
            return result;
        });
}

Text Functions::GetProfileName() {
    Text result;
    return Procedure(*this, u"GetProfileName", Site::none()).run([&] {
        perCall([] {});
        return result;
    });
}

}  // namespace kw
