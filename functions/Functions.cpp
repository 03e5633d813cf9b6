// The per-call lifecycle of every public method: store the namespace where
// the method has one, InitCOM, the work only while Outlook is attached, clear
// the caller's mail variable where there is one, UnInitCOM.
#include "functions/Functions.h"

#include <utility>

#include "errorcapture/DumpVariable.h"
#include "errorcapture/state.h"

namespace kw {

namespace {
// The thread's Outlook application object and its live Functions objects.
// Both are plain values on purpose: nothing of the component runs when the
// thread or the DLL detaches (on Windows possibly under the loader lock and
// after the thread left COM). The application object is released when the
// thread's last Functions object goes; one still held at detach, because an
// object was never released, is deliberately leaked.
thread_local _Application* tOutlookApplication = nullptr;
thread_local long tLiveFunctions = 0;
}  // namespace

ComPtr<_Application> threadOutlookApplication(Site at) {
    if (tOutlookApplication == nullptr)
        tOutlookApplication = createObject<_Application>(outlook::CLSID_Application, at).detach();
    return ComPtr<_Application>::share(tOutlookApplication);
}

void releaseThreadOutlookApplication() noexcept { platform::releaseQuietly(std::exchange(tOutlookApplication, nullptr)); }

Functions::Functions() noexcept { ++tLiveFunctions; }

Functions::~Functions() {
    if (--tLiveFunctions != 0) return;
    releaseThreadOutlookApplication();
    releaseThreadErrorState();
}

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
