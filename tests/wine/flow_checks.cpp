// The mail flows of the registered KWOLFunc.dll under Wine, through real COM:
//   flow_checks KWOLFunc.dll outlook9.tlb
// The in-memory stand-ins (Outlook, the spam client, the mail helper, the
// error-report component) are registered in this process under their real
// CLSIDs and ProgIDs; the DLL, created by ProgID, finds them through
// CoCreateInstance and CLSIDFromProgID as it would find the real ones. Each
// public method runs its flow and the stand-ins' state and call log are
// checked; a scripted failure reaches the error-report component with the
// failure's own text; at the end every reference is gone, the DLL can
// unload and every stand-in object was released.
#include <windows.h>

#include <string>

#include "functions/FunctionsObject.h"
#include "outside/mailhelper.h"
#include "standins/environment.h"
#include "tests/wine/check.h"
#include "tests/wine/process.h"
#include "tests/wine/registered.h"

namespace {

using wine_check::fullPath;
using wine_check::run;

using platform::Bstr;
using platform::Text;
using platform::Variant;
using wine_check::expect;
using wine_check::hex;

constexpr char16_t kSpamWord[] = u"lottery";

// The component's settings live in the prefix's real registry: each run
// starts without them and leaves none behind.
void forgetSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kestrelwood"); }

class Flows {
public:
    explicit Flows(standins::Environment& env) : env_(env), inbox_(env.outlook.defaultFolder(6)) {
        env.spam.vote = [](const Text& message, bool) { return message.find(kSpamWord) != Text::npos ? 90 : 10; };
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(L"KWOLFunc.Functions", &clsid);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kw::identity::IID__Functions,
                                  reinterpret_cast<void**>(&object_));
        expect(hr == S_OK && object_ != nullptr, "Functions created by ProgID " + hex(hr));
        CLSID helper{};
        expect(CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(kw::mailhelper::kMailItemProgId), &helper) == S_OK,
               "the stand-ins' ProgIDs resolve");
    }
    ~Flows() {
        if (object_ != nullptr) object_->Release();
    }
    bool ready() const { return object_ != nullptr; }

    standins::MailItem* receive(const Text& body) {
        standins::MailItem* mail = env_.outlook.addMail(inbox_);
        mail->properties[kw::mailhelper::PR_HEADERS] =
            Variant::text(u"From: someone@example.org\r\nSubject: Hello\r\nContent-Type: text/plain\r\n\r\n");
        mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(u"Hello");
        mail->body = body;
        return mail;
    }
    standins::Folder* spamFolder() const {
        for (standins::Folder* f : env_.outlook.defaultStore()->subfolders)
            if (f->displayName == u"Kestrelwood") return f;
        return nullptr;
    }

    // The mail methods with the caller's variable; true when it came back
    // cleared, as the add-in expects of every one of them.
    enum class Call { Check, Block, UnBlock };
    bool mailCall(Call call, standins::MailItem* mail, const std::string& what) {
        _MailItem* variable = nullptr;
        mail->QueryInterface(kw::outlook::IID__MailItem, reinterpret_cast<void**>(&variable));
        _NameSpace* ns = nullptr;
        env_.outlook.ns()->QueryInterface(kw::outlook::IID__NameSpace, reinterpret_cast<void**>(&ns));
        double version = 9.0;
        VARIANT_BOOL newMail = VARIANT_TRUE;
        HRESULT hr = E_FAIL;
        switch (call) {
            case Call::Check: hr = object_->CheckMail(ns, &variable, &version, &newMail); break;
            case Call::Block: hr = object_->BlockMail(ns, &variable, &version); break;
            case Call::UnBlock: hr = object_->UnBlockMail(ns, &variable, &version); break;
        }
        const bool cleared = variable == nullptr;
        if (variable != nullptr) variable->Release();
        ns->Release();
        return expect(hr == S_OK && cleared, what + " answers S_OK and clears the mail variable " + hex(hr));
    }
    HRESULT createFolder() {
        _NameSpace* ns = nullptr;
        env_.outlook.ns()->QueryInterface(kw::outlook::IID__NameSpace, reinterpret_cast<void**>(&ns));
        const HRESULT hr = object_->CreateFolder(ns);
        ns->Release();
        return hr;
    }
    Text text(HRESULT (STDMETHODCALLTYPE _Functions::*method)(BSTR*, BSTR*), const Text& id, HRESULT* hr) {
        BSTR slot = platform::allocBstr(id);
        Bstr result;
        *hr = (object_->*method)(&slot, result.put());
        expect(platform::textOf(slot) == id, "FolderID is left as it was");
        SysFreeString(slot);
        return result.text();
    }
    Text contacts(VARIANT_BOOL* withName) {
        Bstr result;
        const HRESULT hr = object_->GetContactlist(withName, result.put());
        expect(hr == S_OK, "GetContactlist answers S_OK " + hex(hr));
        return result.text();
    }
    Text profileName() {
        Bstr result;
        const HRESULT hr = object_->GetProfileName(result.put());
        expect(hr == S_OK, "GetProfileName answers S_OK " + hex(hr));
        return result.text();
    }

    standins::Folder* inbox() const { return inbox_; }

private:
    standins::Environment& env_;
    standins::Folder* inbox_;
    _Functions* object_ = nullptr;
};

void mailFlows(Flows& flows, standins::Environment& env) {
    expect(flows.createFolder() == S_OK && flows.spamFolder() != nullptr,
           "CreateFolder makes the spam folder next to the Inbox");
    standins::Folder* spam = flows.spamFolder();

    standins::MailItem* junk = flows.receive(Text(u"win the ") + kSpamWord);
    standins::MailItem* ham = flows.receive(u"see you at lunch");
    flows.mailCall(Flows::Call::Check, junk, "CheckMail of spam");
    flows.mailCall(Flows::Call::Check, ham, "CheckMail of ham");
    expect(env.spam.queried.size() == 2 && standins::log().count("SpamClientCOM.QueryVote") == 2,
           "the spam client is asked once per mail");
    expect(junk->folder == spam, "spam is moved into the spam folder");
    expect(ham->folder == flows.inbox(), "ham stays in the Inbox");
    expect(flows.spamFolder() == spam, "the folder is not made twice");
    expect(standins::log().count("SpamClientCOM.create") >= 2 && standins::log().count("KWMailItem.create") >= 2,
           "the DLL made the spam client and the mail helper through their class objects");

    flows.mailCall(Flows::Call::Block, ham, "BlockMail");
    expect(ham->folder == spam && env.spam.submitted.size() == 1 && env.spam.submitted[0].second == 100,
           "BlockMail moves the mail into the spam folder and votes 100");
    flows.mailCall(Flows::Call::UnBlock, ham, "UnBlockMail");
    expect(ham->folder == flows.inbox() && env.spam.submitted.size() == 2 && env.spam.submitted[1].second == -100,
           "UnBlockMail moves it back into the Inbox and votes -100");
    expect(ham->unread, "unblocked mail is unread");
}

void folderAndProfileFlows(Flows& flows, standins::Environment& env) {
    HRESULT hr = E_FAIL;
    const Text path = flows.text(&_Functions::GetFolderPath, flows.inbox()->entryId, &hr);
    expect(hr == S_OK && path == u"Mailbox/Inbox/", "GetFolderPath runs from the top folder: " + standins::utf8(path));
    expect(standins::log().count("Application.create") == 1,
           "without a namespace given, the DLL made the Outlook application by its class object");

    standins::ContactItem* ann = env.outlook.addContact(env.outlook.defaultFolder(10), u"Ann");
    ann->addressType[0] = u"SMTP";
    ann->address[0] = u"ann@example.org";
    VARIANT_BOOL withName = VARIANT_TRUE;
    expect(flows.contacts(nullptr) == u"|ann@example.org|", "GetContactlist without names");
    expect(flows.contacts(&withName) == Text(u"|ann@example.org") + u'\0' + u"Ann|", "GetContactlist with names");
    expect(withName == VARIANT_TRUE, "withName is left as it was");

    env.profileName = u"Work";
    expect(flows.profileName() == u"Work", "GetProfileName answers the mail helper's profile");
}

// A failing Outlook call whose error information crosses real COM twice:
// from the stand-in to the DLL, and in the report to the error-report
// component.
void reportFlow(Flows& flows, standins::Environment& env) {
    standins::Folder* archive = env.outlook.addFolder(env.outlook.defaultStore(), u"Archive");
    standins::Failure failure{E_FAIL, 1, true, u"The store is offline (é ✓)", u"Outlook"};
    standins::log().failOn("Folder(Archive).Name", failure);
    HRESULT hr = S_OK;
    const Text name = flows.text(&_Functions::GetFolderName, archive->entryId, &hr);
    expect(hr == static_cast<HRESULT>(0x800AFFFFu) && name.empty(), "a failing GetFolderName answers 65535 " + hex(hr));
    if (!expect(env.reports.size() == 1, "one report reaches the error-report component")) return;
    const standins::ErrorReport& report = env.reports[0];
    expect(report.number == static_cast<std::int32_t>(E_FAIL) && report.procedure == u"GetFolderName",
           "the report names the procedure and the failure's number " + hex(report.number));
    expect(report.description == failure.description,
           "the report carries the failure's own text: " + standins::utf8(report.description));
    expect(standins::utf8(report.report).find(standins::utf8(failure.description)) != std::string::npos,
           "and so does the report's text");
    env.reports.clear();
}

// A processor fault inside an Outlook call the DLL makes (a null-pointer
// write in the stand-in) is caught by the DLL's fault handling and reported
// as an access violation; the call answers 65535.
void faultFlow(Flows& flows, standins::Environment& env) {
    standins::Folder* junk = env.outlook.addFolder(env.outlook.defaultStore(), u"Junk");
    standins::log().faultOn("Folder(Junk).Name");
    HRESULT hr = S_OK;
    const Text name = flows.text(&_Functions::GetFolderName, junk->entryId, &hr);
    expect(hr == static_cast<HRESULT>(0x800AFFFFu) && name.empty(), "a faulting GetFolderName answers 65535 " + hex(hr));
    expect(env.reports.size() == 1 && env.reports[0].number == 10005 && env.reports[0].description == u"Access Violation",
           "the fault is reported with 10005, \"Access Violation\"");
    env.reports.clear();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: flow_checks KWOLFunc.dll outlook9.tlb\n");
        return 2;
    }
    const std::wstring dll = fullPath(argv[1]), outlookLibrary = fullPath(argv[2]);
    wine_check::registerServer(dll, outlookLibrary);
    forgetSettings();
    {
        standins::Environment env;
        {
            Flows flows(env);
            if (flows.ready()) {
                mailFlows(flows, env);
                folderAndProfileFlows(flows, env);
                reportFlow(flows, env);
                faultFlow(flows, env);
            }
        }
        expect(env.reports.empty(), "no other report was made");
        for (const std::string& call : standins::log().unexpected()) expect(false, "a stand-in did not expect " + call);
        using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
        HMODULE module = GetModuleHandleW(L"KWOLFunc.dll");
        auto canUnloadNow = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        expect(canUnloadNow != nullptr && canUnloadNow() == S_OK, "DllCanUnloadNow answers S_OK once everything is released");
    }
    expect(standins::liveObjects().load() == 0, "every stand-in object was released");
    forgetSettings();
    wine_check::unregisterServer(dll);
    return wine_check::result();
}
