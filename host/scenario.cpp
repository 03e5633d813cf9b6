// A scripted scenario through the stand-ins: the add-in's view of one
// session. It makes a Functions object by its ProgID, sets its properties,
// hands it a newly received mail, asks for the profile name, and prints
// every call the component made on the other components, in order.
#include <cstdio>
#include <iostream>

#include "functions/FunctionsObject.h"
#include "outside/mailhelper.h"
#include "server/classtable.h"
#include "standins/environment.h"

namespace {

using platform::ComPtr;
using platform::Text;
using platform::Variant;

int fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    return 1;
}

void printCalls() {
    for (const std::string& call : standins::log().calls()) std::cout << "  " << call << "\n";
    standins::log().clear();
}

}  // namespace

int main() {
    int status = 0;
    {
        standins::Environment env;
        kw::registerFunctionsClass();

        // A received mail in the Inbox of the default store.
        standins::MailItem* mail = env.outlook.addMail(env.outlook.defaultFolder(6), "received");
        mail->properties[kw::mailhelper::PR_HEADERS] =
            Variant::text(u"Received: from mx.example.org\r\nSubject: Cheap watches\r\nContent-Type: text/plain\r\n\r\n");
        mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(u"Cheap watches");
        mail->body = u"Buy now.";

        CLSID clsid{};
        ComPtr<_Functions> functions;
        HRESULT hr = CLSIDFromProgID(platform::ole(Text(kw::identity::kProgId)), &clsid);
        if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kw::identity::IID__Functions, functions.putVoid());
        if (FAILED(hr)) return fail("creating KWOLFunc.Functions", hr);

        platform::Bstr profile(u"Outlook");
        functions->put_ProfileName(profile.get());
        functions->put_RecheckFolder(VARIANT_TRUE);

        std::cout << "CheckMail of a newly received mail, with the add-in's namespace:\n";
        auto ns = ComPtr<IDispatch>::share(env.outlook.ns()).query<_NameSpace>();
        _MailItem* item = ComPtr<IDispatch>::share(mail).query<_MailItem>().detach();
        double version = 9.0;
        VARIANT_BOOL newmail = VARIANT_TRUE;
        hr = functions->CheckMail(ns.get(), &item, &version, &newmail);
        printCalls();
        if (FAILED(hr)) status = fail("CheckMail", hr);
        std::cout << "  the add-in's mail variable is " << (item == nullptr ? "empty" : "still set") << "\n";

        std::cout << "GetProfileName, attaching to Outlook itself:\n";
        BSTR name = nullptr;
        hr = functions->GetProfileName(&name);
        printCalls();
        if (FAILED(hr)) status = fail("GetProfileName", hr);
        std::cout << "  profile name: \"" << standins::utf8(platform::textOf(name)) << "\"\n";
        SysFreeString(name);

        functions.reset();
        kw::releaseThreadOutlookApplication();
    }
    if (standins::liveObjects() != 0) {
        std::fprintf(stderr, "%ld stand-in objects were not released\n", standins::liveObjects().load());
        return 1;
    }
    return status;
}
