// An in-memory Outlook: the application, the MAPI namespace with its logon,
// message stores whose top folders have the namespace as parent, folders with
// EntryIDs, names, subfolders and items, default folders by OlDefaultFolders
// value, mail items with UnRead and Move, contact items, an explorer and a
// scripted answer for PickFolder. Every object is a DispatchObject, so every
// call is logged and can be made to fail.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "outside/outlook.h"
#include "standins/dispatchobject.h"

namespace standins {

class OutlookWorld;
class Folder;

struct Attachment {
    std::int32_t size = 0;
    Text mimeTag;
    Text content;
};

// A mail item: what Outlook shows by name, and what the mail helper reads.
class MailItem final : public DispatchObject<_MailItem> {
public:
    MailItem(OutlookWorld& world, std::string name);

    bool unread = true;
    Folder* folder = nullptr;
    std::map<std::int32_t, Variant> properties;  // MAPI property bag, by tag
    Text body, htmlBody;
    std::vector<Attachment> attachments;
    std::string file;  // the .eml file the item was read from, when it has one

private:
    OutlookWorld& world_;
};

class ContactItem final : public DispatchObject<> {
public:
    ContactItem(OutlookWorld& world, std::string name);

    Text fullName;
    // Address and address type of e-mail slots 1 to 3.
    Text address[3], addressType[3];
    Folder* folder = nullptr;
};

class Folder final : public DispatchObject<MAPIFolder> {
public:
    Folder(OutlookWorld& world, Text displayName, Text entryId, Folder* parent);

    Text displayName;
    Text entryId;
    Folder* parent;  // null for a store's top folder: its parent is the namespace
    std::vector<Folder*> subfolders;
    std::vector<DispatchCore*> items;  // mail and contact items, in collection order

private:
    OutlookWorld& world_;
};

class Namespace final : public DispatchObject<_NameSpace> {
public:
    explicit Namespace(OutlookWorld& world);
};

class Application final : public DispatchObject<_Application> {
public:
    explicit Application(OutlookWorld& world);
};

class Explorer final : public DispatchObject<> {
public:
    Explorer();
};

class OutlookWorld {
public:
    OutlookWorld();
    ~OutlookWorld();
    OutlookWorld(const OutlookWorld&) = delete;
    OutlookWorld& operator=(const OutlookWorld&) = delete;

    Application* application() const { return application_.get(); }
    Namespace* ns() const { return namespace_.get(); }

    // The default store "Mailbox" holds the default folders by their
    // OlDefaultFolders value (Inbox 6, Outbox 4, Sent Items 5, Deleted Items 3,
    // Calendar 9, Contacts 10, Journal 11, Notes 12, Tasks 13, Drafts 16).
    Folder* defaultStore() const { return stores_.front(); }
    Folder* defaultFolder(std::int32_t type) const;
    Folder* addStore(const Text& name);
    Folder* addFolder(Folder* parent, const Text& name);
    MailItem* addMail(Folder* folder, const std::string& name = "mail");
    ContactItem* addContact(Folder* folder, const Text& fullName);
    void removeDefaultFolder(std::int32_t type) { defaults_.erase(type); }
    Folder* findById(const Text& entryId) const;
    void moveItem(DispatchCore* item, Folder* to);

    // What Namespace.PickFolder answers: a folder, or null for Cancel.
    Folder* pickAnswer = nullptr;

    // A host that keeps the world on disk makes each change there first: a
    // hook that throws Refusal fails the call and the world stays as it was.
    std::function<void(MailItem& mail, Folder& to)> onMove;
    std::function<void(MailItem& mail, bool unread)> onUnread;
    // Makes the folder and returns its EntryID.
    std::function<Text(Folder& parent, const Text& name)> onAddFolder;
    // Asks the user instead of answering pickAnswer.
    std::function<Folder*()> onPick;
    // What Application.ActiveExplorer answers (an explorer by default).
    bool hasExplorer = true;
    Explorer* explorer() const { return explorer_.get(); }

private:
    Text nextEntryId();

    Owned<Application> application_;
    Owned<Namespace> namespace_;
    Owned<Explorer> explorer_;
    std::vector<Folder*> stores_;
    std::vector<Owned<DispatchCore>> owned_;
    std::map<std::int32_t, Folder*> defaults_;
    unsigned nextId_ = 1;
};

// MAPI_E_NOT_FOUND: what the store answers for an object it does not have.
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x8004010Fu);

}  // namespace standins
