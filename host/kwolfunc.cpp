// The kwolfunc host: drives the Functions component as the add-in does,
// against a mailbox on disk and a classifier over bogofilter. The commands
// and their exit codes are listed by usage() and in the README.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "content/RewriteHeader.h"
#include "core/runtimeerror.h"
#include "host/session.h"
#include "settings/RegRW.h"
#include "standins/eml.h"

namespace {

using namespace host;
using platform::ComPtr;
namespace fs = std::filesystem;

const char kUsageText[] =
    "usage: kwolfunc [--mailbox DIR] [--store DIR]... [--settings FILE] [--data DIR] COMMAND\n"
    "  check [--recheck] [--folder DIR]   train [--spam DIR] [--ham DIR]   block FILE   unblock FILE\n"
    "  create-folder   folder-name ID   folder-path ID   pick-folder [--spam]   contacts [--names]\n"
    "  profile   settings   help   assemble FILE.eml   rewrite-header [--type text/plain|text/html]\n";

int write(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return std::fflush(stdout) == 0 ? kDone : kComponentFailed;
}

// ---- commands without a mailbox

int assemble(const std::string& path) {
    standins::Environment env;
    standins::MailItem* mail = env.outlook.addMail(env.outlook.defaultFolder(6), "assembled");
    std::string error = standins::loadEml(path, *mail);
    if (!error.empty()) throw Stop(kBadInput, error);
    // The model is attached to the stand-ins for the one call and detached
    // again on every way out, a failing call included.
    struct Attached {
        kw::Functions model;
        explicit Attached(standins::Environment& env) {
            model.ObjNS = ComPtr<IDispatch>::share(env.outlook.ns()).query<_NameSpace>();
            model.InitCOM();
        }
        ~Attached() {
            model.UnInitCOM();
            model.ObjNS.reset();
        }
    };
    std::string text;
    try {
        Attached attached(env);
        ComPtr<_MailItem> item = ComPtr<IDispatch>::share(mail).query<_MailItem>();
        text = platform::toUtf8(attached.model.GetCompleteMessageContent(item));
    } catch (const kw::RuntimeError& failure) {
        throw Stop(kComponentFailed, "the component failed with error " + std::to_string(failure.number()) + ": " +
                                         platform::toUtf8(failure.description()));
    }
    return write(text);
}

int rewriteHeader(const std::string& type) {
    if (type != "text/plain" && type != "text/html") throw Stop(kUsage, "the type is text/plain or text/html");
    std::string in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    kw::HeaderRewrite work;
    return write(platform::toUtf8(kw::RewriteHeader(platform::fromUtf8(in), platform::fromUtf8(type), work)));
}

// ---- check and train

// A progress bar on standard error while it is a terminal.
class Progress {
public:
    explicit Progress(std::size_t total) : total_(total), shown_(isatty(2) && total > 0) {}
    ~Progress() {
        if (shown_) std::fputs("\r\033[K", stderr);
    }
    void step(std::size_t done) {
        if (!shown_ || (done % 16 != 0 && done != total_)) return;
        const int width = 40, filled = static_cast<int>(width * done / total_);
        std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu", filled, "########################################",
                     width - filled, "", done, total_);
    }

private:
    std::size_t total_;
    bool shown_;
};

std::vector<standins::MailItem*> mailsOf(const standins::Folder& folder) {
    std::vector<standins::MailItem*> mails;
    for (standins::DispatchCore* item : folder.items)
        if (auto* mail = dynamic_cast<standins::MailItem*>(item)) mails.push_back(mail);
    return mails;
}

// Runs one call on every mail of the folder, each read from its file for the
// call; a mail that cannot be read is counted and skipped. Returns how many
// mails the call failed on (a failing HRESULT or an error report).
template <class Call>
std::size_t overFolder(Session& s, const standins::Folder& folder, std::size_t& unreadable, Call call) {
    const std::vector<standins::MailItem*> mails = mailsOf(folder);
    Progress progress(mails.size());
    std::size_t failed = 0, done = 0;
    for (standins::MailItem* mail : mails) {
        if (!s.mailbox->load(*mail).empty()) {
            ++unreadable;
        } else {
            const HRESULT hr = call(mail);
            standins::Mailbox::unload(*mail);
            if (s.saveReports() > 0 || FAILED(hr)) ++failed;
        }
        progress.step(++done);
    }
    return failed;
}

Text recheckCounter(const char16_t* name) {
    return kw::RegRW::RegRead(u"Software\\Kestrelwood\\Clients\\Outlook\\Recheck", name, u"D", false, Text(),
                              platform::root::CurrentUser);
}

int check(Session& s, bool recheck, const std::string& dir) {
    s.requireClassifier(true);
    standins::Folder& folder = dir.empty() ? *s.env.outlook.defaultFolder(6) : s.folder(dir);
    s.require((*s.component)->put_RecheckFolder(recheck ? VARIANT_TRUE : VARIANT_FALSE));
    std::size_t unreadable = 0, moved = 0, checked = 0;
    const auto start = std::chrono::steady_clock::now();
    const std::size_t failed = overFolder(s, folder, unreadable, [&](standins::MailItem* mail) {
        const HRESULT hr = s.component->checkMail(s.ns(), mail, !recheck);
        ++checked;
        if (mail->folder != &folder) ++moved;
        return hr;
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("checked %zu mails in %.2f s (%.0f mails/s), moved %zu into the spam folder\n", checked, seconds,
                seconds > 0 ? checked / seconds : 0.0, moved);
    std::printf("votes:");
    for (int i = 0; i < 10; ++i) std::printf(" %d-%d: %ld", i * 10, i == 9 ? 100 : i * 10 + 9, s.classifier->votesByTen[i]);
    std::printf("\n");
    if (recheck)
        std::printf("recheck counters: mails checked %s, mails spam %s\n", platform::toUtf8(recheckCounter(u"Mails checked")).c_str(),
                    platform::toUtf8(recheckCounter(u"Mails spam")).c_str());
    if (failed > 0) std::printf("%zu mails could not be checked\n", failed);
    if (unreadable > 0) std::printf("%zu mail files could not be read\n", unreadable);
    return kDone;
}

int train(Session& s, const std::string& spamDir, const std::string& hamDir) {
    s.requireClassifier(false);
    std::size_t unreadable = 0, failed = 0, counts[2] = {0, 0};
    for (const bool spam : {true, false}) {
        const std::string& dir = spam ? spamDir : hamDir;
        if (dir.empty()) continue;
        // The mails are listed before the first call moves any of them.
        const standins::Folder& folder = s.folder(dir);
        failed += overFolder(s, folder, unreadable, [&](standins::MailItem* mail) {
            ++counts[spam];
            return s.component->reportVerdict(s.ns(), mail, spam);
        });
    }
    std::printf("registered %zu spam and %zu ham mails\n", counts[1], counts[0]);
    if (failed > 0) std::printf("%zu mails could not be registered\n", failed);
    if (unreadable > 0) std::printf("%zu mail files could not be read\n", unreadable);
    return kDone;
}

int verdict(Session& s, const std::string& file, bool spam) {
    s.requireClassifier(false);
    standins::MailItem& mail = s.mail(file);
    if (std::string error = s.mailbox->load(mail); !error.empty()) throw Stop(kBadInput, error);
    const HRESULT hr = s.component->reportVerdict(s.ns(), &mail, spam);
    standins::Mailbox::unload(mail);
    s.require(hr);
    std::printf("%s\n", mail.file.c_str());
    return kDone;
}

// ---- folders, contacts, profile, settings

int folderText(Session& s, const std::string& id, bool path) {
    Text result;
    s.require(s.component->withFolderId(platform::fromUtf8(id), result, [&](_Functions* f, BSTR* in, BSTR* out) {
        return path ? f->GetFolderPath(in, out) : f->GetFolderName(in, out);
    }));
    if (result.empty()) throw Stop(kBadInput, "no folder has the ID " + id);
    std::printf("%s\n", platform::toUtf8(result).c_str());
    return kDone;
}

int pickFolder(Session& s, bool spam) {
    const std::vector<standins::Folder*> folders = s.mailbox->folders();
    // Asks until it gets a folder's number; an empty line or the end of the
    // input cancels.
    s.env.outlook.onPick = [&]() -> standins::Folder* {
        const fs::path above = s.mailbox->dirOf(*folders[0]).parent_path();
        for (std::size_t i = 0; i < folders.size(); ++i)
            std::fprintf(stderr, "%3zu  %s\n", i + 1, s.mailbox->dirOf(*folders[i]).lexically_relative(above).c_str());
        for (std::string line;;) {
            std::fprintf(stderr, "folder number (empty to cancel): ");
            if (!std::getline(std::cin, line) || line.empty()) return nullptr;
            char* end = nullptr;
            const unsigned long n = std::strtoul(line.c_str(), &end, 10);
            if (*end == '\0' && n >= 1 && n <= folders.size()) return folders[n - 1];
        }
    };
    Text result;
    VARIANT_BOOL asSpam = spam ? VARIANT_TRUE : VARIANT_FALSE;
    s.require(s.component->withFolderId(Text(), result, [&](_Functions* f, BSTR* in, BSTR* out) {
        return f->PickFolder(in, &asSpam, out);
    }));
    if (!result.empty()) std::printf("%s\n", platform::toUtf8(result).c_str());
    return kDone;
}

int contacts(Session& s, bool names) {
    VARIANT_BOOL withName = names ? VARIANT_TRUE : VARIANT_FALSE;
    platform::Bstr list;
    s.require((*s.component)->GetContactlist(&withName, list.put()));
    // Entries are "|address|" or "|address\0name|", one after the other.
    const std::string text = platform::toUtf8(list.view());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('|', at + 1);
        if (text[at] != '|' || end == std::string::npos) break;
        std::string entry = text.substr(at + 1, end - at - 1);
        if (const auto nul = entry.find('\0'); nul != std::string::npos) entry[nul] = '\t';
        std::printf("%s\n", entry.c_str());
        at = end + 1;
    }
    return kDone;
}

int profile(Session& s) {
    platform::Bstr name;
    s.require((*s.component)->GetProfileName(name.put()));
    std::printf("%s\n", platform::toUtf8(name.view()).c_str());
    return kDone;
}

int settings() {
    struct Setting {
        std::int32_t root;
        const char16_t *key, *value, *type, *fallback, *meaning;
    };
    const Setting all[] = {
        {platform::root::CurrentUser, u"Software\\Kestrelwood\\Clients\\Outlook\\Settings\\Folders", u"Filter", u"S", u"", u"spam folder EntryID"},
        {platform::root::CurrentUser, u"Software\\Kestrelwood\\Thresholds", u"Filter", u"D", u"50", u"spam threshold (0 means 50)"},
        {platform::root::CurrentUser, u"Software\\Kestrelwood\\Clients\\Outlook\\Settings", u"Move as Read", u"D", u"0", u"1: moved spam is marked read"},
        {platform::root::CurrentUser, u"Software\\Kestrelwood\\Clients\\Outlook\\Settings\\Exchange", u"CheckMails", u"D", u"0", u"not 0: check internal Exchange mail too"},
        {platform::root::CurrentUser, u"Software\\Kestrelwood\\Clients\\Outlook\\Recheck", u"Mails checked", u"D", u"0", u"recheck counter"},
        {platform::root::CurrentUser, u"Software\\Kestrelwood\\Clients\\Outlook\\Recheck", u"Mails spam", u"D", u"0", u"recheck counter"},
        {platform::root::LocalMachine, u"Software\\Kestrelwood\\Installation\\", u"Identity", u"S", u"", u"installation identity"},
        {platform::root::CurrentUser, u"Software\\Kestrelwood\\Clients\\Outlook\\", u"SaveTo", u"S", u"", u"folder for copies of checked mail"},
    };
    using platform::toUtf8;
    for (const Setting& s : all) {
        Text value = kw::RegRW::RegRead(s.key, s.value, s.type, false, Text(), s.root);
        if (value == u"0" && Text(s.value) == u"Filter") value = u"50";
        Text key = s.key;
        if (key.back() == u'\\') key.pop_back();
        std::printf("%s\\%s\\%s = \"%s\" (default \"%s\"): %s\n", s.root == platform::root::CurrentUser ? "HKCU" : "HKLM",
                    toUtf8(key).c_str(), toUtf8(s.value).c_str(), toUtf8(value).c_str(), toUtf8(s.fallback).c_str(),
                    toUtf8(s.meaning).c_str());
    }
    return kDone;
}

// ---- the command line

int run(std::vector<std::string> args) {
    auto take = [&](const std::string& option, std::string& into) {
        for (std::size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == option) {
                into = args[i + 1];
                args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
                return true;
            }
        return false;
    };
    auto flag = [&](const std::string& option) {
        for (std::size_t i = 0; i < args.size(); ++i)
            if (args[i] == option) {
                args.erase(args.begin() + static_cast<long>(i));
                return true;
            }
        return false;
    };
    Paths paths = Paths::defaults();
    std::string value;
    if (take("--mailbox", value)) paths.stores = {value};
    while (take("--store", value)) paths.stores.push_back(value);
    if (take("--settings", value)) paths.settings = value;
    if (take("--data", value)) {
        paths.data = value;
        if (paths.stores.size() == 1 && paths.stores[0] == Paths::defaults().stores[0]) paths.stores = {paths.data / "Mailbox"};
    }
    if (args.empty()) throw Stop(kUsage, "no command");
    if (args[0] == "help") return write(kUsageText);
    const std::string command = args[0];
    args.erase(args.begin());

    if (command == "assemble" && args.size() == 1) return assemble(args[0]);
    if (command == "rewrite-header") {
        std::string type = "text/plain";
        take("--type", type);
        if (args.empty()) return rewriteHeader(type);
    }
    if (command == "settings" && args.empty()) {
        Session s(paths);
        return settings();
    }
    const bool recheck = command == "check" && flag("--recheck");
    const bool spam = command == "pick-folder" && flag("--spam");
    const bool names = command == "contacts" && flag("--names");
    std::string folder, spamDir, hamDir;
    if (command == "check") take("--folder", folder);
    if (command == "train") {
        take("--spam", spamDir);
        take("--ham", hamDir);
        if (spamDir.empty() && hamDir.empty()) throw Stop(kUsage, "train needs --spam DIR or --ham DIR");
    }
    const bool oneArg = args.size() == 1 && (command == "block" || command == "unblock" || command == "folder-name" ||
                                             command == "folder-path");
    const bool noArg = args.empty() && (command == "check" || command == "train" || command == "create-folder" ||
                                        command == "pick-folder" || command == "contacts" || command == "profile");
    if (!oneArg && !noArg) throw Stop(kUsage, "unknown command or arguments: " + command);

    Session s(paths);
    int status = kDone;
    if (command == "check") status = check(s, recheck, folder);
    else if (command == "train") status = train(s, spamDir, hamDir);
    else if (command == "block" || command == "unblock") status = verdict(s, args[0], command == "block");
    else if (command == "create-folder") s.require((*s.component)->CreateFolder(s.ns()));
    else if (command == "folder-name" || command == "folder-path") status = folderText(s, args[0], command == "folder-path");
    else if (command == "pick-folder") status = pickFolder(s, spam);
    else if (command == "contacts") status = contacts(s, names);
    else if (command == "profile") status = profile(s);
    s.saveReports();
    s.tellReports();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    int status;
    try {
        status = run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const Stop& stop) {
        std::fprintf(stderr, "kwolfunc: %s%s\n", stop.what(), stop.code == kUsage ? " (kwolfunc help lists the commands)" : "");
        status = stop.code;
    }
    kw::releaseThreadOutlookApplication();
    if (standins::liveObjects() != 0) {
        std::fprintf(stderr, "kwolfunc: %ld stand-in objects were not released\n", standins::liveObjects().load());
        return kComponentFailed;
    }
    return status;
}
