#include "standins/mailbox.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <system_error>

#include "outside/mailhelper.h"
#include "standins/eml.h"

namespace standins {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMail = ".eml", kReadMail = ".read.eml", kContact = ".vcf", kSidecar = ".addr";

bool endsWith(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// A file's name without its read mark and extension.
std::string baseName(const std::string& name) {
    return name.substr(0, name.size() - (endsWith(name, kReadMail) ? kReadMail : kMail).size());
}

// Refusal for a failed file-system call.
Refusal refusalFor(int error) {
    switch (error) {
        case EACCES: case EPERM: case EROFS: return Refusal{E_ACCESSDENIED};
        case ENOSPC: return Refusal{static_cast<HRESULT>(0x80030070u)};  // STG_E_MEDIUMFULL
        default: return Refusal{E_FAIL};
    }
}

// Renames from into dir as base[-n][.read].eml, never over an existing file:
// the first free n is taken. One rename, so the mail is in one place always.
fs::path renameFresh(const fs::path& from, const fs::path& dir, const std::string& base, bool read) {
    for (int n = 0; n < 100000; ++n) {
        std::string name = base;
        if (n > 0) name.append("-").append(std::to_string(n));
        name.append(read ? kReadMail : kMail);
        const fs::path to = dir / name;
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            // The sidecar follows; a kill in between leaves it behind, never the mail.
            std::error_code ignored;
            fs::rename(fs::path(from) += kSidecar, fs::path(to) += kSidecar, ignored);
            return to;
        }
        if (errno != EEXIST) throw refusalFor(errno);
    }
    throw Refusal{E_FAIL};
}

// A vCard's FN and up to three EMAIL lines (folded lines joined), as SMTP.
void readContact(const fs::path& file, ContactItem& contact) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
            lines.back() += line.substr(1);
        else
            lines.push_back(line);
    }
    int slot = 0;
    for (const std::string& line : lines) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, line.find_first_of(";:"));
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::toupper(c); });
        const Text value = platform::fromUtf8(line.substr(colon + 1));
        if (key == "FN") contact.fullName = value;
        if (key == "EMAIL" && slot < 3) {
            contact.address[slot] = value;
            contact.addressType[slot++] = u"SMTP";
        }
    }
}

}  // namespace

fs::path pathOf(const Text& name) { return fs::path(platform::toUtf8(name)); }
Text nameOf(const fs::path& path) { return platform::fromUtf8(path.string()); }

Mailbox::Mailbox(OutlookWorld& world, const std::vector<fs::path>& stores) : world_(world) {
    for (std::size_t i = 0; i < stores.size(); ++i) {
        std::error_code error;
        fs::create_directories(stores[i], error);
        const fs::path dir = fs::canonical(stores[i], error);
        if (error) throw std::runtime_error("cannot open the store " + stores[i].string() + ": " + error.message());
        const std::string name = dir.filename().string();
        for (const auto& [other, otherName] : stores_)
            if (otherName == name) throw std::runtime_error("two stores are named " + name);
        stores_.emplace_back(dir, name);
        tops_.push_back(openStore(dir, i == 0));
        scan(*tops_.back());
    }
    world_.onMove = [this](MailItem& mail, Folder& to) { move(mail, to); };
    world_.onUnread = [this](MailItem& mail, bool unread) {
        if (mail.file.empty() || unread == mail.unread) return;
        const fs::path from = mail.file;
        mail.file = renameFresh(from, from.parent_path(), baseName(from.filename().string()), !unread).string();
    };
    world_.onAddFolder = [this](Folder& parent, const Text& name) { return addFolder(parent, name); };
}

Mailbox::~Mailbox() {
    world_.onMove = nullptr;
    world_.onUnread = nullptr;
    world_.onAddFolder = nullptr;
}

Text Mailbox::entryIdOf(const fs::path& dir) const {
    for (const auto& [root, name] : stores_) {
        const fs::path relative = dir.lexically_relative(root);
        if (relative.empty() || *relative.begin() == "..") continue;
        const std::string path = relative == "." ? name : name + "/" + relative.generic_string();
        static const char hex[] = "0123456789ABCDEF";
        Text id;
        for (unsigned char c : path) {
            id.push_back(static_cast<char16_t>(hex[c >> 4]));
            id.push_back(static_cast<char16_t>(hex[c & 15]));
        }
        return id;
    }
    throw std::logic_error("a folder outside the mailbox");
}

Folder* Mailbox::openStore(const fs::path& dir, bool isDefault) {
    Folder* top = isDefault ? world_.defaultStore() : world_.addStore(nameOf(dir.filename()));
    top->displayName = nameOf(dir.filename());
    top->entryId = entryIdOf(dir);
    dirs_[top] = dir;
    if (!isDefault) return top;
    // The default folders are there by their usual names.
    for (Folder* folder : top->subfolders) {
        const fs::path sub = dir / pathOf(folder->displayName);
        std::error_code error;
        fs::create_directory(sub, error);
        if (error) throw std::runtime_error("cannot make the folder " + sub.string() + ": " + error.message());
        folder->entryId = entryIdOf(sub);
        dirs_[folder] = sub;
    }
    return top;
}

void Mailbox::scan(Folder& folder) {
    const fs::path dir = dirs_.at(&folder);
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) entries.push_back(*it);
    if (error) throw std::runtime_error("cannot read the folder " + dir.string() + ": " + error.message());
    // In name order, so that items come in the same order every run.
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        // A linked directory could lead back up the tree: folders are real directories.
        if (entry.is_directory() && !entry.is_symlink()) {
            auto known = std::find_if(folder.subfolders.begin(), folder.subfolders.end(),
                                      [&](Folder* f) { return dirs_.count(f) && dirs_.at(f) == entry.path(); });
            Folder* sub = known != folder.subfolders.end() ? *known : world_.addFolder(&folder, nameOf(name));
            sub->entryId = entryIdOf(entry.path());
            dirs_[sub] = entry.path();
            scan(*sub);
        } else if (entry.is_regular_file() && endsWith(name, kMail)) {
            MailItem* mail = world_.addMail(&folder, name);
            mail->file = entry.path().string();
            mail->unread = !endsWith(name, kReadMail);
        } else if (entry.is_regular_file() && endsWith(name, kContact)) {
            readContact(entry.path(), *world_.addContact(&folder, u""));
        }
    }
}

void Mailbox::move(MailItem& mail, Folder& to) {
    if (mail.file.empty() || mail.folder == &to) return;
    const fs::path from = mail.file;
    mail.file = renameFresh(from, dirOf(to), baseName(from.filename().string()), !mail.unread).string();
}

Text Mailbox::addFolder(Folder& parent, const Text& name) {
    const fs::path leaf = pathOf(name);
    if (name.empty() || leaf != leaf.filename() || name == u"." || name == u".." || name.find(u'\0') != Text::npos)
        throw Refusal{E_INVALIDARG};
    const fs::path dir = dirOf(parent) / leaf;
    std::error_code error;
    if (!fs::create_directory(dir, error)) throw error ? refusalFor(error.value()) : Refusal{E_FAIL};
    return entryIdOf(dir);
}

Folder* Mailbox::folderAt(const fs::path& dir) const {
    std::error_code error;
    const fs::path wanted = fs::weakly_canonical(dir, error);
    for (const auto& [folder, path] : dirs_)
        if (path == wanted) return const_cast<Folder*>(folder);
    return nullptr;
}

MailItem* Mailbox::mailAt(const fs::path& file) const {
    std::error_code error;
    const fs::path wanted = fs::weakly_canonical(file, error);
    const Folder* folder = folderAt(wanted.parent_path());
    if (folder == nullptr) return nullptr;
    for (DispatchCore* item : folder->items)
        if (auto* mail = dynamic_cast<MailItem*>(item); mail != nullptr && fs::path(mail->file) == wanted) return mail;
    return nullptr;
}

std::vector<Folder*> Mailbox::folders() const {
    std::vector<Folder*> out;
    std::function<void(Folder*)> walk = [&](Folder* f) {
        out.push_back(f);
        for (Folder* sub : f->subfolders) walk(sub);
    };
    for (Folder* top : tops_) walk(top);
    return out;
}

fs::path Mailbox::dirOf(const Folder& folder) const {
    // A folder the component made in this run is found through its parent.
    auto found = dirs_.find(&folder);
    return found != dirs_.end() ? found->second : dirOf(*folder.parent) / pathOf(folder.displayName);
}

// Exchange mail names its parties in a sidecar NAME.eml.addr, lines of
// "sent-type:", "sent-address:", "received-type:", "received-address:".
std::string Mailbox::load(MailItem& mail) const {
    std::string error = loadEml(mail.file, mail);
    std::ifstream sidecar(mail.file + std::string(kSidecar), std::ios::binary);
    const std::pair<const char*, std::int32_t> keys[] = {
        {"sent-type:", kw::mailhelper::PR_SENT_REPRESENTING_ADDRTYPE},
        {"sent-address:", kw::mailhelper::PR_SENT_REPRESENTING_EMAIL_ADDRESS},
        {"received-type:", kw::mailhelper::PR_RCVD_REPRESENTING_ADDRTYPE},
        {"received-address:", kw::mailhelper::PR_RCVD_REPRESENTING_EMAIL_ADDRESS}};
    for (std::string line; error.empty() && std::getline(sidecar, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (const auto& [key, tag] : keys)
            if (line.rfind(key, 0) == 0) {
                const std::size_t value = line.find_first_not_of(' ', std::strlen(key));
                mail.properties[tag] = Variant::text(platform::fromUtf8(value == std::string::npos ? "" : line.substr(value)));
            }
    }
    return error;
}

void Mailbox::unload(MailItem& mail) {
    mail.properties.clear();
    mail.body.clear();
    mail.htmlBody.clear();
    mail.attachments.clear();
}

}  // namespace standins
