#include "outside/outlook.h"

#include "platform/casefold.h"

namespace kw::outlook {

namespace {
template <class I>
Variant callOn(const ComPtr<I>& object, const char16_t* member, std::initializer_list<Variant> args, Site at) {
    need(object, at);
    return LateBound(object).call(member, args, at);
}
}  // namespace

ComPtr<_NameSpace> GetNamespace(const ComPtr<_Application>& app, const Text& type, Site at) {
    return objectAs<_NameSpace>(callOn(app, u"GetNamespace", {Variant::text(type)}, at), at);
}

void Logon(const ComPtr<_NameSpace>& ns, Site at) {
    callOn(ns, u"Logon", {Variant::missing(), Variant::missing(), Variant::missing(), Variant::missing()}, at);
}

ComPtr<MAPIFolder> GetDefaultFolder(const ComPtr<_NameSpace>& ns, std::int32_t folderType, Site at) {
    return objectAs<MAPIFolder>(callOn(ns, u"GetDefaultFolder", {Variant::i4(folderType)}, at), at);
}

ComPtr<MAPIFolder> GetFolderFromID(const ComPtr<_NameSpace>& ns, const Text& entryId, Site at) {
    return objectAs<MAPIFolder>(callOn(ns, u"GetFolderFromID", {Variant::text(entryId)}, at), at);
}

ComPtr<MAPIFolder> PickFolder(const ComPtr<_NameSpace>& ns, Site at) {
    return objectAs<MAPIFolder>(callOn(ns, u"PickFolder", {}, at), at);
}

ComPtr<_Application> Application(const ComPtr<_NameSpace>& ns, Site at) {
    return objectAs<_Application>(callOn(ns, u"Application", {}, at), at);
}

ComPtr<IDispatch> ActiveExplorer(const ComPtr<_Application>& app, Site at) {
    return asObject(*callOn(app, u"ActiveExplorer", {}, at), at);
}

void Activate(const ComPtr<IDispatch>& explorer, Site at) { callOn(explorer, u"Activate", {}, at); }

Text EntryID(const ComPtr<MAPIFolder>& folder, Site at) { return asText(*callOn(folder, u"EntryID", {}, at), at); }

Text Name(const ComPtr<MAPIFolder>& folder, Site at) { return asText(*callOn(folder, u"Name", {}, at), at); }

ComPtr<IDispatch> Parent(const ComPtr<MAPIFolder>& folder, Site at) {
    return asObject(*callOn(folder, u"Parent", {}, at), at);
}

ComPtr<IDispatch> Folders(const ComPtr<IDispatch>& folder, Site at) {
    return asObject(*callOn(folder, u"Folders", {}, at), at);
}

ComPtr<IDispatch> Items(const ComPtr<IDispatch>& folder, Site at) {
    return asObject(*callOn(folder, u"Items", {}, at), at);
}

ComPtr<MAPIFolder> FoldersItem(const ComPtr<IDispatch>& folders, const Text& name, Site at) {
    return objectAs<MAPIFolder>(callOn(folders, u"Item", {Variant::text(name)}, at), at);
}

ComPtr<MAPIFolder> FoldersAdd(const ComPtr<IDispatch>& folders, const Text& name, std::int32_t type, Site at) {
    return objectAs<MAPIFolder>(callOn(folders, u"Add", {Variant::text(name), Variant::i4(type)}, at), at);
}

ComPtr<IDispatch> GetFirst(const ComPtr<IDispatch>& items, Site at) {
    return asObject(*callOn(items, u"GetFirst", {}, at), at);
}

ComPtr<IDispatch> GetNext(const ComPtr<IDispatch>& items, Site at) {
    return asObject(*callOn(items, u"GetNext", {}, at), at);
}

Text FullName(const ComPtr<IDispatch>& contact, Site at) { return asText(*callOn(contact, u"FullName", {}, at), at); }

bool IsStoreTop(const ComPtr<MAPIFolder>& folder, Site at) {
    return platform::lowerCase(asText(*defaultValue(Parent(folder, at), at), at)) == u"mapi";
}

ComPtr<MAPIFolder> AsFolder(const ComPtr<IDispatch>& object, Site at) {
    return objectAs<MAPIFolder>(Variant::dispatch(object.get()), at);
}

void SetUnRead(const ComPtr<_MailItem>& mail, bool unread, Site at) {
    need(mail, at);
    LateBound(mail).put(u"UnRead", Variant::boolean(unread), at);
}

void Move(const ComPtr<_MailItem>& mail, const ComPtr<MAPIFolder>& folder, Site at) {
    callOn(mail, u"Move", {Variant::dispatch(folder.get())}, at);
}

}  // namespace kw::outlook
