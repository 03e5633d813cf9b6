#include "standins/outlook.h"

#include <algorithm>
#include <cstdio>

#include "outside/mailhelper.h"
#include "platform/casefold.h"
#include "outside/outlook.h"

namespace standins {

namespace {

using Args = std::vector<Variant>;

Variant folderVariant(Folder* f) { return objectVariant(f); }

// Folder.Folders: a new collection object for every read.
class FolderList final : public DispatchObject<> {
public:
    FolderList(OutlookWorld& world, Folder* owner) : DispatchObject("Folders", owner->name(), u"_Folders") {
        collection([owner] {
            std::vector<Variant> out;
            for (Folder* f : owner->subfolders) out.push_back(folderVariant(f));
            return out;
        });
        method(u"Item", [owner](const Args& args) {
            if (!args.empty() && args[0].type() == VT_BSTR) {
                const Text wanted = textArg(args, 0);
                for (Folder* f : owner->subfolders)
                    if (platform::sameName(f->displayName, wanted)) return folderVariant(f);
                throw Refusal{kNotFound};
            }
            const std::int32_t index = intArg(args, 0);
            if (index < 1 || index > static_cast<std::int32_t>(owner->subfolders.size())) throw Refusal{kNotFound};
            return folderVariant(owner->subfolders[static_cast<std::size_t>(index - 1)]);
        });
        method(u"Add", [&world, owner](const Args& args) {
            const Text name = textArg(args, 0);
            for (Folder* f : owner->subfolders)
                if (platform::sameName(f->displayName, name)) throw Refusal{E_FAIL};
            Text entryId = world.onAddFolder ? world.onAddFolder(*owner, name) : Text();
            Folder* added = world.addFolder(owner, name);
            if (!entryId.empty()) added->entryId = std::move(entryId);
            return folderVariant(added);
        });
    }
};

// Folder.Items: a new collection with its own GetFirst/GetNext cursor.
class ItemList final : public DispatchObject<> {
public:
    explicit ItemList(Folder* owner) : DispatchObject("Items", owner->name(), u"_Items") {
        auto snapshot = [owner] {
            std::vector<Variant> out;
            for (DispatchCore* item : owner->items) out.push_back(objectVariant(item));
            return out;
        };
        collection(snapshot);
        method(u"GetFirst", [this, owner](const Args&) {
            cursor_ = 0;
            return next(owner);
        });
        method(u"GetNext", [this, owner](const Args&) { return next(owner); });
        method(u"Item", [owner](const Args& args) {
            const std::int32_t index = intArg(args, 0);
            if (index < 1 || index > static_cast<std::int32_t>(owner->items.size())) throw Refusal{kNotFound};
            return objectVariant(owner->items[static_cast<std::size_t>(index - 1)]);
        });
    }

private:
    Variant next(Folder* owner) {
        if (cursor_ >= owner->items.size()) return objectVariant(nullptr);
        return objectVariant(owner->items[cursor_++]);
    }
    std::size_t cursor_ = 0;
};

}  // namespace

MailItem::MailItem(OutlookWorld& world, std::string name) : DispatchObject("MailItem", std::move(name), u"_MailItem"), world_(world) {
    answers(kw::outlook::IID__MailItem);
    property(
        u"UnRead", [this](const Args&) { return Variant::boolean(unread); },
        [this](const Variant& v) {
            Variant b;
            if (FAILED(VariantChangeType(b.get(), const_cast<VARIANT*>(v.get()), 0, VT_BOOL))) throw Refusal{DISP_E_TYPEMISMATCH};
            const bool value = b.get()->boolVal != VARIANT_FALSE;
            if (world_.onUnread) world_.onUnread(*this, value);
            unread = value;
        });
    method(u"Move", [this](const Args& args) {
        Folder* to = objectArg<Folder>(args, 0);
        if (world_.onMove) world_.onMove(*this, *to);
        world_.moveItem(this, to);
        return objectVariant(this);
    });
    auto subject = [this](const Args&) {
        auto found = properties.find(kw::mailhelper::PR_SUBJECT);
        return found == properties.end() ? Variant::text(u"") : found->second;
    };
    property(u"Subject", subject);
    defaultValue(subject);
    property(u"Parent", [this](const Args&) { return folderVariant(folder); });
}

ContactItem::ContactItem(OutlookWorld&, std::string name) : DispatchObject("ContactItem", std::move(name), u"_ContactItem") {
    property(u"FullName", [this](const Args&) { return Variant::text(fullName); });
    defaultValue([this](const Args&) { return Variant::text(fullName); });
}

Folder::Folder(OutlookWorld& world, Text name, Text id, Folder* parentFolder)
    : DispatchObject("Folder", utf8(name), u"MAPIFolder"), displayName(std::move(name)), entryId(std::move(id)),
      parent(parentFolder), world_(world) {
    answers(kw::outlook::IID_MAPIFolder);
    property(u"Name", [this](const Args&) { return Variant::text(displayName); });
    defaultValue([this](const Args&) { return Variant::text(displayName); });
    property(u"EntryID", [this](const Args&) { return Variant::text(entryId); });
    property(u"Parent", [this](const Args&) {
        return parent != nullptr ? folderVariant(parent) : objectVariant(world_.ns());
    });
    property(u"Folders", [this](const Args&) {
        auto* list = new FolderList(world_, this);
        Variant v = objectVariant(list);
        list->Release();
        return v;
    });
    property(u"Items", [this](const Args&) {
        auto* list = new ItemList(this);
        Variant v = objectVariant(list);
        list->Release();
        return v;
    });
}

Namespace::Namespace(OutlookWorld& world) : DispatchObject("Namespace", "", u"_NameSpace") {
    answers(kw::outlook::IID__NameSpace);
    auto type = [](const Args&) { return Variant::text(u"MAPI"); };
    property(u"Type", type);
    defaultValue(type);
    method(u"Logon", [](const Args&) { return Variant(); });
    method(u"GetDefaultFolder", [&world](const Args& args) {
        Folder* f = world.defaultFolder(intArg(args, 0));
        if (f == nullptr) throw Refusal{kNotFound};
        return folderVariant(f);
    });
    method(u"GetFolderFromID", [&world](const Args& args) {
        const Text id = textArg(args, 0);
        if (present(args, 1)) throw Refusal{E_INVALIDARG};  // the component never names a store
        Folder* f = world.findById(id);
        if (f == nullptr) throw Refusal{kNotFound};
        return folderVariant(f);
    });
    method(u"PickFolder", [&world](const Args&) { return folderVariant(world.onPick ? world.onPick() : world.pickAnswer); });
    property(u"Application", [&world](const Args&) { return objectVariant(world.application()); });
}

Application::Application(OutlookWorld& world) : DispatchObject("Application", "", u"_Application") {
    answers(kw::outlook::IID__Application);
    method(u"GetNamespace", [&world](const Args& args) {
        if (textArg(args, 0) != u"MAPI") throw Refusal{E_INVALIDARG};
        return objectVariant(world.ns());
    });
    method(u"ActiveExplorer", [&world](const Args&) {
        return objectVariant(world.hasExplorer ? world.explorer() : nullptr);
    });
    property(u"Session", [&world](const Args&) { return objectVariant(world.ns()); });
}

Explorer::Explorer() : DispatchObject("Explorer", "", u"_Explorer") {
    method(u"Activate", [](const Args&) { return Variant(); });
}

OutlookWorld::OutlookWorld()
    : application_(new Application(*this)), namespace_(new Namespace(*this)), explorer_(new Explorer()) {
    Folder* top = addStore(u"Mailbox");
    const std::pair<std::int32_t, const char16_t*> defaults[] = {
        {3, u"Deleted Items"}, {4, u"Outbox"}, {5, u"Sent Items"}, {6, u"Inbox"},   {9, u"Calendar"},
        {10, u"Contacts"},     {11, u"Journal"}, {12, u"Notes"},    {13, u"Tasks"}, {16, u"Drafts"},
    };
    for (const auto& [type, name] : defaults) defaults_[type] = addFolder(top, name);
}

OutlookWorld::~OutlookWorld() = default;

Text OutlookWorld::nextEntryId() {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "00000000A1B2C3D4E5F60718293A4B5C0100%012X", nextId_++);
    const std::string s = buffer;
    return Text(s.begin(), s.end());
}

Folder* OutlookWorld::defaultFolder(std::int32_t type) const {
    auto found = defaults_.find(type);
    return found == defaults_.end() ? nullptr : found->second;
}

Folder* OutlookWorld::addStore(const Text& name) {
    auto* top = new Folder(*this, name, nextEntryId(), nullptr);
    owned_.emplace_back(top);
    stores_.push_back(top);
    return top;
}

Folder* OutlookWorld::addFolder(Folder* parent, const Text& name) {
    auto* folder = new Folder(*this, name, nextEntryId(), parent);
    owned_.emplace_back(folder);
    parent->subfolders.push_back(folder);
    return folder;
}

MailItem* OutlookWorld::addMail(Folder* folder, const std::string& name) {
    auto* mail = new MailItem(*this, name);
    owned_.emplace_back(mail);
    mail->folder = folder;
    if (folder != nullptr) folder->items.push_back(mail);
    return mail;
}

ContactItem* OutlookWorld::addContact(Folder* folder, const Text& fullName) {
    auto* contact = new ContactItem(*this, utf8(fullName));
    owned_.emplace_back(contact);
    contact->fullName = fullName;
    contact->folder = folder;
    folder->items.push_back(contact);
    return contact;
}

Folder* OutlookWorld::findById(const Text& entryId) const {
    if (entryId.empty()) return nullptr;
    for (const auto& owned : owned_)
        if (auto* f = dynamic_cast<Folder*>(owned.get()); f != nullptr && f->entryId == entryId) return f;
    return nullptr;
}

void OutlookWorld::moveItem(DispatchCore* item, Folder* to) {
    auto* mail = dynamic_cast<MailItem*>(item);
    if (mail == nullptr) return;
    if (mail->folder != nullptr) {
        auto& from = mail->folder->items;
        from.erase(std::remove(from.begin(), from.end(), item), from.end());
    }
    mail->folder = to;
    to->items.push_back(mail);
}

}  // namespace standins
