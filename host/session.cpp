#include "host/session.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/messagebox.h"
#include "server/classtable.h"
#include "settings/regfile.h"

namespace host {

namespace fs = std::filesystem;
using platform::ComPtr;

namespace {

fs::path homeDir(const char* variable, const char* fallback) {
    if (const char* set = std::getenv(variable); set != nullptr && *set != '\0') return set;
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : ".") / fallback;
}

}  // namespace

Paths Paths::defaults() {
    Paths p;
    p.data = homeDir("XDG_DATA_HOME", ".local/share") / "kwolfunc";
    p.settings = homeDir("XDG_CONFIG_HOME", ".config") / "kwolfunc" / "settings.reg";
    p.stores = {p.data / "Mailbox"};
    return p;
}

std::string describeFailure(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::string line = std::string("the component failed with ") + code;
    ComPtr<IErrorInfo> info;
    platform::Bstr description;
    if (GetErrorInfo(0, info.put()) == S_OK && info && SUCCEEDED(info->GetDescription(description.put())) &&
        description.length() > 0)
        line += ": " + platform::toUtf8(description.view());
    return line;
}

Component::Component() {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(platform::ole(Text(kw::identity::kProgId)), &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kw::identity::IID__Functions, functions_.putVoid());
    if (FAILED(hr)) throw Stop(kComponentFailed, "cannot create KWOLFunc.Functions: " + describeFailure(hr));
}

namespace {
// The mail and the Outlook version ByRef: the caller's reference goes into the
// slot, and whatever the callee leaves there is released here.
template <class Call>
HRESULT withMail(_MailItem* mail, Call call) {
    _MailItem* slot = ComPtr<_MailItem>::share(mail).detach();
    double version = 11.0;
    const HRESULT hr = call(&slot, &version);
    ComPtr<_MailItem>::attach(slot);
    return hr;
}
}  // namespace

HRESULT Component::checkMail(_NameSpace* ns, _MailItem* mail, bool newMail) {
    VARIANT_BOOL isNew = newMail ? VARIANT_TRUE : VARIANT_FALSE;
    return withMail(mail, [&](_MailItem** slot, double* version) { return functions_->CheckMail(ns, slot, version, &isNew); });
}

HRESULT Component::reportVerdict(_NameSpace* ns, _MailItem* mail, bool spam) {
    return withMail(mail, [&](_MailItem** slot, double* version) {
        return spam ? functions_->BlockMail(ns, slot, version) : functions_->UnBlockMail(ns, slot, version);
    });
}

Session::Session(const Paths& paths) : paths_(paths) {
    // Thousands of calls a run: the call log is for tests.
    standins::log().recording = false;
    std::error_code error;
    fs::create_directories(paths_.settings.parent_path(), error);
    fs::create_directories(paths_.wordlist(), error);
    if (error) throw Stop(kBadInput, "cannot make " + paths_.wordlist().string() + ": " + error.message());
    platform::setSettingsApi(std::make_shared<kw::settings::RegFileStore>(paths_.settings));
    platform::setMessageBoxPresenter([](const Text& text, const Text& title, UINT) {
        std::fprintf(stderr, "[%s] %s\n", platform::toUtf8(title).c_str(), platform::toUtf8(text).c_str());
        return IDOK;
    });
    try {
        mailbox = std::make_unique<standins::Mailbox>(env.outlook, paths_.stores);
    } catch (const std::runtime_error& failure) {
        throw Stop(kBadInput, failure.what());
    }
    env.profileName = env.outlook.defaultStore()->displayName;
    classifier = std::make_unique<standins::BogofilterClient>(paths_.wordlist().string());
    kw::registerFunctionsClass();
    component = std::make_unique<Component>();
}

Session::~Session() {
    component.reset();
    saveReports();
    kw::releaseThreadOutlookApplication();
    classifier.reset();
    platform::setMessageBoxPresenter({});
}

void Session::requireClassifier(bool forVotes) const {
    if (std::system("command -v bogofilter >/dev/null 2>&1") != 0)
        throw Stop(kNoClassifier, "bogofilter is not installed; install it with: sudo apt-get install bogofilter");
    if (forVotes && !fs::exists(paths_.wordlist() / "wordlist.db"))
        throw Stop(kNoClassifier, "bogofilter has no word list in " + paths_.wordlist().string() +
                                      " yet; train it first with: kwolfunc train --spam DIR --ham DIR");
}

std::size_t Session::saveReports() {
    std::size_t count = 0;
    std::error_code error;
    if (!env.reports.empty()) fs::create_directories(paths_.reports(), error);
    for (const standins::ErrorReport& r : env.reports) {
        char name[64];
        std::snprintf(name, sizeof name, "%ld-%d-%zu.txt", static_cast<long>(std::time(nullptr)),
                      static_cast<int>(getpid()), ++saved_);
        std::ofstream out(paths_.reports() / name, std::ios::binary);
        using platform::toUtf8;
        out << "Error " << r.number << " in " << toUtf8(r.component) << " " << toUtf8(r.module) << "."
            << toUtf8(r.procedure) << " line " << r.line << " (version " << toUtf8(r.version) << ")\n"
            << toUtf8(r.description) << "\n\n" << toUtf8(r.report) << "\n";
        ++count;
    }
    env.reports.clear();
    return count;
}

void Session::require(HRESULT hr) {
    if (SUCCEEDED(hr) && env.reports.empty()) return;
    std::string line = FAILED(hr) ? describeFailure(hr) : "the component reported an error";
    if (saveReports() > 0) line += "; error reports in " + paths_.reports().string();
    throw Stop(kComponentFailed, line);
}

void Session::tellReports() const {
    if (saved_ > 0)
        std::fprintf(stderr, "kwolfunc: %zu error report%s in %s\n", saved_, saved_ == 1 ? "" : "s",
                     paths_.reports().string().c_str());
}

standins::Folder& Session::folder(const std::string& dir) const {
    const fs::path under = mailbox->dirOf(*env.outlook.defaultStore()) / dir;
    standins::Folder* found = fs::is_directory(under) ? mailbox->folderAt(under) : nullptr;
    if (found == nullptr) found = mailbox->folderAt(dir);
    if (found == nullptr) throw Stop(kBadInput, "no folder " + dir + " in the mailbox");
    return *found;
}

standins::MailItem& Session::mail(const std::string& file) const {
    standins::MailItem* found = mailbox->mailAt(file);
    if (found == nullptr) found = mailbox->mailAt(mailbox->dirOf(*env.outlook.defaultStore()) / file);
    if (found == nullptr) throw Stop(kBadInput, "no mail " + file + " in the mailbox");
    return *found;
}

}  // namespace host
