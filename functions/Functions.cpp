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

}  // namespace kw
