// Folder picking, names and paths: Outlook's folder dialog under the rules
// for a spam folder, and a folder's name and path from its identity.
#include <array>
#include <unordered_set>

#include "functions/Functions.h"
#include "platform/messagebox.h"

namespace kw {

namespace {

// Far deeper than any folder tree a mail store holds: where no identity on
// the way can be read, the walk takes this many names at most.
constexpr std::size_t kMaxPathDepth = 100000;

constexpr char16_t kTitle[] = u"Kestrelwood";
constexpr char16_t kInboxRefused[] = u"You can't choose your Inbox folder as storage folder for spammails";

// The default folders of the default store that cannot hold spam, in the
// order they are looked up. The Inbox has a test of its own; Deleted Items
// may be chosen.
constexpr std::array kRefusedDefaults = {
    outlook::olFolderCalendar, outlook::olFolderContacts, outlook::olFolderDrafts, outlook::olFolderJournal,
    outlook::olFolderNotes,    outlook::olFolderOutbox,   outlook::olFolderSentMail, outlook::olFolderTasks,
};

// A folder rule's message: OK only, no icon. What the box answers is not
// used, and a box that cannot be shown changes nothing.
void tellUser(const Text& message) {
    ignoringFailure([&] {
        // The box's message loop runs the host's own windows: a fault there
        // is not the component's.
        const OutsideComponent hostCode;
        platform::showMessageBox(message, kTitle, MB_OK);
    });
}

Text folderRefused(const Text& name) {
    return u"You can't select \"" + name + u"\" as storage folder for spammails";
}

// Removes each non-overlapping pair of adjacent backslashes, scanning from
// the first character.
Text withoutDoubleBackslashes(const Text& path) {
    Text out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == u'\\' && i + 1 < path.size() && path[i + 1] == u'\\') {
            ++i;
            continue;
        }
        out += path[i];
    }
    return out;
}

}  // namespace

Text Functions::PickFolder(Text& FolderID, Boolean& SPAMfolder) {
    ByName<MAPIFolder> mFolder, inboxFolder;
    Variant MailboxFolder, FolderPath;  // never assigned; the report lists them
    Text result;
    return Procedure(*this, u"PickFolder", Site::none())
        .locals({KW_EXTERNAL(mFolder), KW_EXTERNAL(inboxFolder), KW_VAR(MailboxFolder), KW_VAR(FolderPath)})
        .params({KW_VAR(FolderID), KW_VAR(SPAMfolder)})
        .run([&] {
            perCall([&] {
                outlook::Activate(outlook::ActiveExplorer(outlook::Application(ObjNS)));
                mFolder = outlook::PickFolder(ObjNS);
                if (!mFolder) return;  // cancelled
                bool refused = false;
                if (SPAMfolder) {
                    inboxFolder = outlook::GetDefaultFolder(ObjNS, outlook::olFolderInbox);
                    // The chosen folder's identity is read first.
                    const Text chosen = outlook::EntryID(mFolder);
                    if (chosen == outlook::EntryID(inboxFolder)) {
                        tellUser(kInboxRefused);
                        refused = true;
                    } else {
                        refused = outlook::IsStoreTop(mFolder);
                        if (!refused) {
                            // Every pair is read before any is compared.
                            std::array<std::pair<Text, Text>, kRefusedDefaults.size()> pairs;
                            for (std::size_t i = 0; i < kRefusedDefaults.size(); ++i) {
                                pairs[i].first = outlook::EntryID(mFolder);
                                pairs[i].second = outlook::EntryID(outlook::GetDefaultFolder(ObjNS, kRefusedDefaults[i]));
                            }
                            for (const auto& [pickedId, refusedId] : pairs) refused = refused || pickedId == refusedId;
                        }
                        if (refused) tellUser(folderRefused(outlook::Name(mFolder)));
                    }
                }
                if (!refused) result = outlook::EntryID(mFolder);
                inboxFolder = nullptr;
                mFolder = nullptr;
            });
            return result;
        });
}

Text Functions::GetFolderName(Text& FolderID) {
    ByName<MAPIFolder> mFolder;
    Text result;
    return Procedure(*this, u"GetFolderName", Site::none())
        .locals({KW_EXTERNAL(mFolder)})
        .params({KW_VAR(FolderID)})
        .run([&] {
            perCall([&] {
                // An identity that does not resolve gives empty text, no error.
                ignoringFailure([&] { mFolder = outlook::GetFolderFromID(ObjNS, FolderID); });
                if (mFolder) result = outlook::Name(mFolder);
                mFolder = nullptr;
            });
            return result;
        });
}

Text Functions::GetFolderPath(Text& FolderID) {
    ByName<MAPIFolder> mFolder;
    Text FolderPath, LastFolderID;
    return Procedure(*this, u"GetFolderPath", Site::none())
        .locals({KW_EXTERNAL(mFolder), KW_VAR(FolderPath), KW_VAR(LastFolderID)})
        .params({KW_VAR(FolderID)})
        .run([&] {
            perCall([&] {
                // The walk runs with failures ignored, step by step: a step
                // that fails leaves what it was to assign as it was.
                ignoringFailure([&] { mFolder = outlook::GetFolderFromID(ObjNS, FolderID); });
                FolderPath.clear();
                if (mFolder) {
                    // The names, deepest first; the path is put together at
                    // the end, so a deep chain costs its length, not its
                    // square.
                    std::vector<Text> names;
                    // The walk ends at a folder it has already passed, so a
                    // parent chain that runs in a circle ends too; a chain
                    // whose identities cannot be read at all ends after
                    // kMaxPathDepth folders.
                    std::unordered_set<Text> passed;
                    for (std::size_t depth = 0; depth < kMaxPathDepth; ++depth) {
                        // A loop test that fails runs the body.
                        bool differs = true;
                        const bool tested = ignoringFailure([&] {
                            const Text id = outlook::EntryID(mFolder);
                            differs = id != LastFolderID && !passed.contains(id);
                        });
                        if (!differs) break;
                        ignoringFailure([&] { names.push_back(outlook::Name(mFolder)); });
                        if (ignoringFailure([&] { LastFolderID = outlook::EntryID(mFolder); })) passed.insert(LastFolderID);
                        // Above a store's top folder is the namespace, no
                        // folder: this step fails there and the next test
                        // ends the walk.
                        const bool climbed = ignoringFailure([&] { mFolder = outlook::AsFolder(outlook::Parent(mFolder)); });
                        // A folder whose identity cannot be read and whose
                        // parent cannot be had would be read again for ever:
                        // the walk ends with its name taken once.
                        if (!tested && !climbed) break;
                    }
                    for (auto name = names.rbegin(); name != names.rend(); ++name) FolderPath += *name + u"/";
                    FolderPath = withoutDoubleBackslashes(FolderPath);
                }
                mFolder = nullptr;
            });
            return FolderPath;
        });
}

}  // namespace kw
