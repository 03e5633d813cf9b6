// The spam folder and the moves into it: the folder is found by the identity
// stored for the profile, or adopted or created next to the Inbox of the
// default store; block and unblock move a mail and tell the spam client the
// user's verdict.
#include "functions/Functions.h"
#include "settings/General.h"

namespace kw {

namespace {
constexpr char16_t kDefaultFolderName[] = u"Kestrelwood";
constexpr std::int32_t kSpamVote = 100, kNotSpamVote = -100;
}  // namespace

ByName<MAPIFolder> Functions::FindSPAMRepository(Site at) {
    ByName<MAPIFolder> MailboxFolder, NewSPAMfolder;
    Text DefaultFolderName, SPAMfolderName, SpamfolderID;
    return Procedure(*this, u"FindSPAMRepository", at)
        .locals({KW_VAR(MailboxFolder), KW_VAR(NewSPAMfolder), KW_VAR(DefaultFolderName), KW_VAR(SPAMfolderName),
                 KW_VAR(SpamfolderID)})
        .run([&] {
            DefaultFolderName = kDefaultFolderName;
            SpamfolderID = General::GetSpamfolderID(ProfileName);

            // A stored identity that does not resolve, or that names a store's
            // top folder, is no error: the folder is then adopted or created.
            ignoringFailure([&] { MailboxFolder = outlook::GetFolderFromID(ObjNS, SpamfolderID); });
            // A test that cannot be made counts as a top folder: the stored
            // folder is not used.
            bool storeTop = true;
            ignoringFailure([&] { storeTop = outlook::IsStoreTop(MailboxFolder); });
            if (storeTop) ignoringFailure([&] { MailboxFolder = nullptr; });

            if (!MailboxFolder) {
                SPAMfolderName = DefaultFolderName;
                MailboxFolder = outlook::AsFolder(outlook::Parent(outlook::GetDefaultFolder(ObjNS, outlook::olFolderInbox)));
                // An existing folder of that name is adopted, never duplicated.
                ignoringFailure(
                    [&] { NewSPAMfolder = outlook::FoldersItem(outlook::Folders(MailboxFolder), SPAMfolderName); });
                if (!NewSPAMfolder)
                    NewSPAMfolder = outlook::FoldersAdd(outlook::Folders(MailboxFolder), SPAMfolderName, outlook::olMailFolder);
                SpamfolderID = outlook::EntryID(NewSPAMfolder);
                General::WriteSpamfolderID(ProfileName, SpamfolderID);
            }
            // Whatever was found, the folder is looked up afresh by identity.
            MailboxFolder = outlook::GetFolderFromID(ObjNS, SpamfolderID);
            ByName<MAPIFolder> result = MailboxFolder;
            NewSPAMfolder = nullptr;
            MailboxFolder = nullptr;
            return result;
        });
}

void Functions::CreateFolder(ComPtr<_NameSpace> OutlookNS) {
    Procedure(*this, u"CreateFolder", Site::none()).params({KW_VAR(OutlookNS)}).run([&] {
        // Without the argument ObjNS stays empty and InitCOM attaches.
        ObjNS = OutlookNS;
        perCall([&] { FindSPAMRepository().reset(); });
    });
}

void Functions::MoveMessage(ComPtr<_MailItem>& objMail, const bool& toSpambox, Site at) {
    ByName<MAPIFolder> tempFolder;
    Procedure(*this, u"MoveMessage", at)
        .locals({KW_VAR(tempFolder)})
        .params({KW_VAR(objMail), KW_VAR(toSpambox)})
        .run([&] {
            // The unread flag is set on the caller's item before the move.
            if (toSpambox) {
                tempFolder = FindSPAMRepository();
                outlook::SetUnRead(objMail, General::GetMoveMsgRead());
            } else {
                tempFolder = outlook::GetDefaultFolder(ObjNS, outlook::olFolderInbox);
                outlook::SetUnRead(objMail, true);
            }
            // A move that fails leaves the mail where it is; nothing is lost.
            ignoringFailure([&] { outlook::Move(objMail, tempFolder); });
            tempFolder = nullptr;
        });
}

void Functions::reportVerdict(const char16_t* procedure, bool spam, ComPtr<_NameSpace>& OutlookNS,
                              ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue) {
    Procedure(*this, procedure, Site::none())
        .params({KW_VAR(OutlookNS), KW_VAR(OutlookMail), KW_VAR(OutlookVersionValue)})
        .run([&] {
            ObjNS = OutlookNS;
            perCall(
                [&] {
                    Outlookversion = OutlookVersionValue;
                    if (!OutlookMail) return;
                    // The move first, the vote second: a failure the move
                    // reports stops the vote as well.
                    MoveMessage(OutlookMail, spam);
                    if (!DisableVoting) CastVote(OutlookMail, spam ? kSpamVote : kNotSpamVote);
                },
                &OutlookNS, &OutlookMail);
        });
}

void Functions::BlockMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue) {
    reportVerdict(u"BlockMail", true, OutlookNS, OutlookMail, OutlookVersionValue);
}

void Functions::UnBlockMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail,
                            double& OutlookVersionValue) {
    reportVerdict(u"UnBlockMail", false, OutlookNS, OutlookMail, OutlookVersionValue);
}

}  // namespace kw
