// A scripted scenario through the stand-ins: the add-in's view of one
// session. It makes a Functions object by its ProgID, sets its properties,
// hands it a newly received mail, asks for the profile name, and prints
// every call the component made on the other components, in order. Then it
// shows the text the spam client is given for that mail.
#include <cstdio>
#include <iostream>

#include "functions/FunctionsObject.h"
#include "outside/mailhelper.h"
#include "server/classtable.h"
#include "settings/RegRW.h"
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
        mail->htmlBody = u"<html><body><p>Buy <b>now</b>.</p></body></html>";
        mail->attachments.push_back(standins::Attachment{2048, u"application/pdf", u"%PDF-1.4 catalogue"});
        mail->attachments.push_back(standins::Attachment{5 << 20, u"video/mp4", u"(large)"});
        const bool noIniFile = false;
        kw::RegRW::RegWrite(u"Software\\Kestrelwood\\Installation\\", u"Identity", u"S", Variant::text(u"KW-0001"),
                            noIniFile, Text(), platform::root::LocalMachine);
        standins::log().clear();

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
        std::cout << "  GetProfileName returned \"" << standins::utf8(platform::textOf(name))
                  << "\" (the profile lookup itself is not built yet)\n";
        SysFreeString(name);

        std::cout << "The text the spam client judges for that mail (CR LF shown as \\r\\n):\n";
        kw::Functions model;
        model.ObjNS = ns;
        model.InitCOM();
        ComPtr<_MailItem> received = ComPtr<IDispatch>::share(mail).query<_MailItem>();
        std::string text = standins::utf8(model.GetCompleteMessageContent(received));
        model.UnInitCOM();
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 5))
            text.replace(at, 2, "\\r\\n\n  ");
        std::cout << "  " << text << "\n";

        functions.reset();
        kw::releaseThreadOutlookApplication();
    }
    if (standins::liveObjects() != 0) {
        std::fprintf(stderr, "%ld stand-in objects were not released\n", standins::liveObjects().load());
        return 1;
    }
    return status;
}
