// The Outlook object model, reached by member name through IDispatch. Objects
// are held as the Outlook interfaces they are (a QueryInterface for the
// interface's IID decides: a namespace is not a folder), each with the
// DISPIDs of the names called on it (ByName), and each member the component
// uses has one typed helper here.
#pragma once

#include <cstdint>

#include "outside/latebound.h"
#include "outside/slots.h"

struct _Application : public IDispatch {};
struct _NameSpace : public IDispatch {};
struct _MailItem : public IDispatch {};
struct MAPIFolder : public IDispatch {};

namespace kw::outlook {

inline constexpr CLSID CLSID_Application = platform::makeGuid("0006F03A-0000-0000-C000-000000000046");
inline constexpr IID LIBID_Outlook = platform::makeGuid("00062FFF-0000-0000-C000-000000000046");
inline constexpr IID IID__Application = platform::makeGuid("00063001-0000-0000-C000-000000000046");
inline constexpr IID IID__NameSpace = platform::makeGuid("00063002-0000-0000-C000-000000000046");
inline constexpr IID IID__MailItem = platform::makeGuid("00063034-0000-0000-C000-000000000046");
inline constexpr IID IID_MAPIFolder = platform::makeGuid("00063006-0000-0000-C000-000000000046");

// OlDefaultFolders values the component asks for.
enum DefaultFolder : std::int32_t {
    olFolderOutbox = 4,
    olFolderSentMail = 5,
    olFolderInbox = 6,
    olFolderCalendar = 9,
    olFolderContacts = 10,
    olFolderJournal = 11,
    olFolderNotes = 12,
    olFolderTasks = 13,
    olFolderDrafts = 16,
};
inline constexpr std::int32_t olMailFolder = 6;  // the Type argument of Folders.Add for mail items

}  // namespace kw::outlook

KW_INTERFACE_ID(_Application, kw::outlook::IID__Application);
KW_INTERFACE_ID(_NameSpace, kw::outlook::IID__NameSpace);
KW_INTERFACE_ID(_MailItem, kw::outlook::IID__MailItem);
KW_INTERFACE_ID(MAPIFolder, kw::outlook::IID_MAPIFolder);

namespace kw::outlook {

// The object in v as interface I: an empty pointer for Nothing, run-time
// error 13 when the object is not an I.
template <class I>
ByName<I> objectAs(const Variant& v, Site at = Site::here()) {
    ComPtr<IDispatch> object = asObject(*v, at);
    if (!object) return {};
    ComPtr<I> typed = object.template query<I>();
    if (!typed) raise(err::TypeMismatch, at);
    return typed;
}

ByName<_NameSpace> GetNamespace(const ByName<_Application>& app, const Text& type, Site at = Site::here());
// Logon with all four optional arguments (profile, password, show-dialog,
// new-session) omitted.
void Logon(const ByName<_NameSpace>& ns, Site at = Site::here());
ByName<MAPIFolder> GetDefaultFolder(const ByName<_NameSpace>& ns, std::int32_t folderType, Site at = Site::here());
// The store argument is always left out.
ByName<MAPIFolder> GetFolderFromID(const ByName<_NameSpace>& ns, const Text& entryId, Site at = Site::here());
ByName<MAPIFolder> PickFolder(const ByName<_NameSpace>& ns, Site at = Site::here());
ByName<_Application> Application(const ByName<_NameSpace>& ns, Site at = Site::here());
ByName<IDispatch> ActiveExplorer(const ByName<_Application>& app, Site at = Site::here());
void Activate(const LateBound& explorer, Site at = Site::here());

Text EntryID(const ByName<MAPIFolder>& folder, Site at = Site::here());
Text Name(const ByName<MAPIFolder>& folder, Site at = Site::here());
ByName<IDispatch> Parent(const ByName<MAPIFolder>& folder, Site at = Site::here());
ByName<IDispatch> Folders(const LateBound& folder, Site at = Site::here());
ByName<IDispatch> Items(const LateBound& folder, Site at = Site::here());
ByName<MAPIFolder> FoldersItem(const LateBound& folders, const Text& name, Site at = Site::here());
ByName<MAPIFolder> FoldersAdd(const LateBound& folders, const Text& name, std::int32_t type,
                              Site at = Site::here());
ByName<IDispatch> GetFirst(const LateBound& items, Site at = Site::here());
ByName<IDispatch> GetNext(const LateBound& items, Site at = Site::here());
Text FullName(const LateBound& contact, Site at = Site::here());

// The store-top test: a folder is the top folder of a message store when the
// default value of its Parent, as text and lower-cased, is "mapi" (the
// namespace gives its type, "MAPI", as its default value).
bool IsStoreTop(const ByName<MAPIFolder>& folder, Site at = Site::here());
// An object taken as a folder: run-time error 13 when it is not one (the
// namespace above a store's top folder), Nothing as an empty pointer.
ByName<MAPIFolder> AsFolder(const LateBound& object, Site at = Site::here());

void SetUnRead(const ByName<_MailItem>& mail, bool unread, Site at = Site::here());
// Moves the item; the moved item that Outlook returns is released at once.
void Move(const ByName<_MailItem>& mail, const ByName<MAPIFolder>& folder, Site at = Site::here());

}  // namespace kw::outlook
