// The anti-spam client's two objects, the error-report component, and the
// environment that puts every stand-in into the class table.
#include <cstdio>

#include "outside/mailhelper.h"
#include "outside/outlook.h"
#include "outside/spamclient.h"
#include "platform/classtable.h"
#include "standins/environment.h"
#include "settings/memorystore.h"
#include "standins/mailhelper.h"
#include "standins/settings.h"
#include "standins/vtableobject.h"

namespace standins {

namespace {

using kw::spamclient::CLSID_SpamClientCOM;
using kw::spamclient::CLSID_SpamClientMD5;
using kw::spamclient::IID_SpamClientCOM;
using kw::spamclient::IID_SpamClientMD5;

Environment* tCurrent = nullptr;

class SpamClientCOMObject final : public VtableObject<_SpamClientCOM> {
public:
    SpamClientCOMObject() : VtableObject("SpamClientCOM", {IID_SpamClientCOM}) {}

    HRESULT STDMETHODCALLTYPE QueryVote(BSTR message, VARIANT_BOOL newMail, LONG* vote) override {
        const Text text = platform::textOf(message);
        if (HRESULT hr = enter("QueryVote", standins::quoted(text) + (newMail ? ", True" : ", False")); FAILED(hr)) return hr;
        SpamScript& script = Environment::current().spam;
        script.queried.push_back(text);
        script.newMail.push_back(newMail);
        *vote = script.vote(text, newMail != VARIANT_FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SubmitVote(BSTR message, LONG vote, LONG* result) override {
        const Text text = platform::textOf(message);
        if (HRESULT hr = enter("SubmitVote", standins::quoted(text) + ", " + std::to_string(vote)); FAILED(hr)) return hr;
        Environment::current().spam.submitted.emplace_back(text, vote);
        *result = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PrepareBody(BSTR body, BSTR* prepared) override {
        const Text text = platform::textOf(body);
        if (HRESULT hr = enter("PrepareBody", standins::quoted(text)); FAILED(hr)) return hr;
        *prepared = platform::allocBstr(Environment::current().spam.prepare(text));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SignAttachment(BSTR mimeTag, BSTR content, BSTR* signature) override {
        const Text tag = platform::textOf(mimeTag), data = platform::textOf(content);
        if (HRESULT hr = enter("SignAttachment", standins::quoted(tag) + ", " + standins::quoted(data)); FAILED(hr)) return hr;
        const SpamScript& script = Environment::current().spam;
        *signature = platform::allocBstr(script.sign ? script.sign(tag, data) : defaultSignature(tag, data));
        return S_OK;
    }
    KW_STANDIN_UNUSED(9)
};

class SpamClientMD5Object final : public VtableObject<_SpamClientMD5> {
public:
    SpamClientMD5Object() : VtableObject("SpamClientMD5", {IID_SpamClientMD5}) {}
};

// "kestrelwoodErrHandler.Error": ErrorHandler with eight arguments, Action.
class ErrorReporter final : public DispatchObject<> {
public:
    ErrorReporter() : DispatchObject("ErrorReporter", "", u"Error") {
        method(u"ErrorHandler", [](const std::vector<Variant>& args) {
            if (args.size() != 8) throw Refusal{DISP_E_BADPARAMCOUNT};
            Environment::current().reports.push_back(
                ErrorReport{intArg(args, 0), textArg(args, 1), textArg(args, 2), textArg(args, 3), textArg(args, 4),
                            intArg(args, 5), textArg(args, 6), textArg(args, 7)});
            return Variant();
        });
        property(u"Action", [](const std::vector<Variant>&) { return Variant::text(Environment::current().action); });
    }
};

constexpr CLSID CLSID_KWMailItem = platform::makeGuid("6C1F3A52-0B7E-4F1D-9E21-3A5C7D9B1E01");
constexpr CLSID CLSID_KWContactItem = platform::makeGuid("6C1F3A52-0B7E-4F1D-9E21-3A5C7D9B1E02");
constexpr CLSID CLSID_KWMAPIUtils = platform::makeGuid("6C1F3A52-0B7E-4F1D-9E21-3A5C7D9B1E03");
constexpr CLSID CLSID_ErrorReporter = platform::makeGuid("6C1F3A52-0B7E-4F1D-9E21-3A5C7D9B1E04");

// A factory that logs the creation, can be made to fail ("Name.create"), and
// hands out the interface asked for.
platform::ClassFactoryFn factory(const StandInClass& c, Environment& env) {
    return [&c, &env](REFIID riid, void** ppv) -> HRESULT {
        if (const Failure* failure = log().enter(std::string(c.name) + ".create", {}, "")) return failure->hr;
        IUnknown* object = c.make(env);
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    };
}

IUnknown* shared(DispatchCore* object) {
    object->addRef();
    return object->dispatch();
}

}  // namespace

const std::vector<StandInClass>& standInClasses() {
    static const std::vector<StandInClass> classes = {
        {kw::outlook::CLSID_Application, u"Outlook.Application", "Application",
         [](Environment& env) { return shared(env.outlook.application()); }},
        {CLSID_SpamClientCOM, u"", "SpamClientCOM",
         [](Environment&) -> IUnknown* { return static_cast<_SpamClientCOM*>(new SpamClientCOMObject()); }},
        {CLSID_SpamClientMD5, u"", "SpamClientMD5",
         [](Environment&) -> IUnknown* { return static_cast<_SpamClientMD5*>(new SpamClientMD5Object()); }},
        {CLSID_KWMailItem, kw::mailhelper::kMailItemProgId, "KWMailItem", [](Environment&) { return newKWMailItem(); }},
        {CLSID_KWContactItem, kw::mailhelper::kContactItemProgId, "KWContactItem",
         [](Environment&) { return newKWContactItem(); }},
        {CLSID_KWMAPIUtils, kw::mailhelper::kMAPIUtilsProgId, "KWMAPIUtils", [](Environment&) { return newKWMAPIUtils(); }},
        {CLSID_ErrorReporter, kErrorReporterProgId, "ErrorReporter",
         [](Environment&) -> IUnknown* { return (new ErrorReporter())->dispatch(); }},
    };
    return classes;
}

Text defaultSignature(const Text& mimeTag, const Text& content) {
    // FNV-1a over both texts: stable, and different for different inputs.
    std::uint32_t h = 2166136261u;
    for (const Text* t : {&mimeTag, &content})
        for (char16_t c : *t) {
            h = (h ^ (c & 0xFF)) * 16777619u;
            h = (h ^ (c >> 8)) * 16777619u;
        }
    char b[16];
    std::snprintf(b, sizeof b, "%08X", h);
    return Text(b, b + 8);
}

Environment::Environment()
    : settings(std::make_shared<RecordingSettings>(std::make_shared<kw::settings::MemoryStore>())),
      previous_(tCurrent),
      previousSettings_(platform::setSettingsApi(settings)) {
    tCurrent = this;
    log().clear();
    log().clearFailures();
    log().recording = true;
    for (const StandInClass& c : standInClasses()) platform::registerClass(c.clsid, c.progId, factory(c, *this));
}

Environment::~Environment() {
    for (const StandInClass& c : standInClasses()) platform::revokeClass(c.clsid);
    log().clearFailures();
    platform::setSettingsApi(previousSettings_);
    tCurrent = previous_;
}

void Environment::uninstallErrorReporter() { platform::revokeClass(CLSID_ErrorReporter); }
void Environment::uninstallOutlook() { platform::revokeClass(kw::outlook::CLSID_Application); }

Environment& Environment::current() { return *tCurrent; }

}  // namespace standins
