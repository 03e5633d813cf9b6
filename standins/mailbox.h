// A mailbox on disk behind the in-memory Outlook: a store is a directory and
// its top folder is named after it, folders are its subdirectories, mail
// items are .eml files and contacts .vcf files. The default folders of the
// default store are the subdirectories with their usual names (Inbox, Sent
// Items...), made when missing. An EntryID is the hex of the folder's path
// from the store's name down, so it stays the same from run to run.
//
// Every change the component makes reaches the disk before the in-memory
// world: a move is one rename that never replaces a file (a fresh name is
// taken on a collision), so a kill at any moment leaves the mail in exactly
// one place; the read flag is part of the file name (NAME.read.eml), so it
// moves with the mail; a new folder is a new directory. Mail content is read
// only while a call needs it (load / unload).
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "standins/outlook.h"

namespace standins {

class Mailbox {
public:
    // Opens the stores in world, the first as its default store. Throws
    // std::runtime_error naming a directory that cannot be read or made.
    Mailbox(OutlookWorld& world, const std::vector<std::filesystem::path>& stores);
    ~Mailbox();
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    // The folder of a directory, or the mail item of a file, of the mailbox;
    // null when it has none.
    Folder* folderAt(const std::filesystem::path& dir) const;
    MailItem* mailAt(const std::filesystem::path& file) const;
    std::filesystem::path dirOf(const Folder& folder) const;
    // Every folder, each store's top folder before the folders below it.
    std::vector<Folder*> folders() const;

    // Fills the item from its file (an empty text, or one line saying what
    // went wrong) and empties it again once the call is done.
    std::string load(MailItem& mail) const;
    static void unload(MailItem& mail);

private:
    Folder* openStore(const std::filesystem::path& dir, bool isDefault);
    void scan(Folder& folder);
    void move(MailItem& mail, Folder& to);
    Text addFolder(Folder& parent, const Text& name);
    Text entryIdOf(const std::filesystem::path& dir) const;

    OutlookWorld& world_;
    std::vector<std::pair<std::filesystem::path, std::string>> stores_;  // directory, top folder name
    std::map<const Folder*, std::filesystem::path> dirs_;
    std::vector<Folder*> tops_;
};

// Text of a name as the file system holds it, and back.
std::filesystem::path pathOf(const Text& name);
Text nameOf(const std::filesystem::path& path);

}  // namespace standins
