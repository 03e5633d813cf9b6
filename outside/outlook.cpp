#include "outside/outlook.h"

#include "platform/casefold.h"

namespace kw::outlook {

namespace {
Variant callOn(const LateBound& object, const char16_t* member, std::initializer_list<Variant> args, Site at) {
    need(object.object(), at);
    return object.call(member, args, at);
}
}  // namespace

ByName<_NameSpace> GetNamespace(const ByName<_Application>& app, const Text& type, Site at) {
    return objectAs<_NameSpace>(callOn(app, u"GetNamespace", {Variant::text(type)}, at), at);
}

void Logon(const ByName<_NameSpace>& ns, Site at) {
    callOn(ns, u"Logon", {Variant::missing(), Variant::missing(), Variant::missing(), Variant::missing()}, at);
}

ByName<MAPIFolder> GetDefaultFolder(const ByName<_NameSpace>& ns, std::int32_t folderType, Site at) {
    return objectAs<MAPIFolder>(callOn(ns, u"GetDefaultFolder", {Variant::i4(folderType)}, at), at);
}

ByName<MAPIFolder> GetFolderFromID(const ByName<_NameSpace>& ns, const Text& entryId, Site at) {
    return objectAs<MAPIFolder>(callOn(ns, u"GetFolderFromID", {Variant::text(entryId)}, at), at);
}

ByName<MAPIFolder> PickFolder(const ByName<_NameSpace>& ns, Site at) {
    return objectAs<MAPIFolder>(callOn(ns, u"PickFolder", {}, at), at);
}

ByName<_Application> Application(const ByName<_NameSpace>& ns, Site at) {
    return objectAs<_Application>(callOn(ns, u"Application", {}, at), at);
}

ByName<IDispatch> ActiveExplorer(const ByName<_Application>& app, Site at) {
    return asObject(*callOn(app, u"ActiveExplorer", {}, at), at);
}

void Activate(const LateBound& explorer, Site at) { callOn(explorer, u"Activate", {}, at); }

Text EntryID(const ByName<MAPIFolder>& folder, Site at) { return asText(*callOn(folder, u"EntryID", {}, at), at); }

Text Name(const ByName<MAPIFolder>& folder, Site at) { return asText(*callOn(folder, u"Name", {}, at), at); }

ByName<IDispatch> Parent(const ByName<MAPIFolder>& folder, Site at) {
    return asObject(*callOn(folder, u"Parent", {}, at), at);
}

ByName<IDispatch> Folders(const LateBound& folder, Site at) {
    return asObject(*callOn(folder, u"Folders", {}, at), at);
}

ByName<IDispatch> Items(const LateBound& folder, Site at) {
    return asObject(*callOn(folder, u"Items", {}, at), at);
}

ByName<MAPIFolder> FoldersItem(const LateBound& folders, const Text& name, Site at) {
    return objectAs<MAPIFolder>(callOn(folders, u"Item", {Variant::text(name)}, at), at);
}

ByName<MAPIFolder> FoldersAdd(const LateBound& folders, const Text& name, std::int32_t type, Site at) {
    return objectAs<MAPIFolder>(callOn(folders, u"Add", {Variant::text(name), Variant::i4(type)}, at), at);
}

ByName<IDispatch> GetFirst(const LateBound& items, Site at) {
    return asObject(*callOn(items, u"GetFirst", {}, at), at);
}

ByName<IDispatch> GetNext(const LateBound& items, Site at) {
    return asObject(*callOn(items, u"GetNext", {}, at), at);
}

Text FullName(const LateBound& contact, Site at) { return asText(*callOn(contact, u"FullName", {}, at), at); }

bool IsStoreTop(const ByName<MAPIFolder>& folder, Site at) {
    return platform::lowerCase(asText(*defaultValue(Parent(folder, at), at), at)) == u"mapi";
}

ByName<MAPIFolder> AsFolder(const LateBound& object, Site at) {
    return objectAs<MAPIFolder>(Variant::dispatch(object.object().get()), at);
}

void SetUnRead(const ByName<_MailItem>& mail, bool unread, Site at) {
    need(mail.object(), at);
    mail.put(u"UnRead", Variant::boolean(unread), at);
}

void Move(const ByName<_MailItem>& mail, const ByName<MAPIFolder>& folder, Site at) {
    callOn(mail, u"Move", {Variant::dispatch(folder.get())}, at);
}

}  // namespace kw::outlook
