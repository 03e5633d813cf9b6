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

template <class Work>
void Functions::perCall(Work&& work, ComPtr<_NameSpace>* namespaceArgument, ComPtr<_MailItem>* callersMail) {
    InitCOM();
    if (!ObjError) work();
    if (namespaceArgument != nullptr) *namespaceArgument = nullptr;
    if (callersMail != nullptr) *callersMail = nullptr;
    UnInitCOM();
}

void Functions::CheckMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue,
                          Boolean& Newmail) {
    bool Spammail = false;
    Procedure(*this, u"CheckMail", Site::none())
        .locals({KW_VAR(Spammail)})
        .params({KW_VAR(OutlookNS), KW_VAR(OutlookMail), KW_VAR(OutlookVersionValue), KW_VAR(Newmail)})
        .run([&] {
            ObjNS = OutlookNS;
            perCall([&] { Outlookversion = OutlookVersionValue; }, &OutlookNS, &OutlookMail);
        });
}

void Functions::BlockMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue) {
    Procedure(*this, u"BlockMail", Site::none())
        .params({KW_VAR(OutlookNS), KW_VAR(OutlookMail), KW_VAR(OutlookVersionValue)})
        .run([&] {
            ObjNS = OutlookNS;
            perCall([&] { Outlookversion = OutlookVersionValue; }, &OutlookNS, &OutlookMail);
        });
}

void Functions::UnBlockMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail,
                            double& OutlookVersionValue) {
    Procedure(*this, u"UnBlockMail", Site::none())
        .params({KW_VAR(OutlookNS), KW_VAR(OutlookMail), KW_VAR(OutlookVersionValue)})
        .run([&] {
            ObjNS = OutlookNS;
            perCall([&] { Outlookversion = OutlookVersionValue; }, &OutlookNS, &OutlookMail);
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

void Functions::CreateFolder(ComPtr<_NameSpace> OutlookNS) {
    Procedure(*this, u"CreateFolder", Site::none()).params({KW_VAR(OutlookNS)}).run([&] {
        ObjNS = OutlookNS;
        perCall([] {});
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
