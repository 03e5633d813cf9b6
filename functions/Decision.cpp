// The spam decision for one received mail: internal Exchange mail is not
// voted on; other mail gets the spam client's vote on its complete text and
// is moved into the spam folder when the vote reaches the user's threshold.
// While the add-in rechecks a folder, every checked mail is counted.
#include "functions/Functions.h"
#include "platform/casefold.h"
#include "settings/General.h"

namespace kw {

namespace {

// The 1-based position of the first `lowerWord` in text lower-cased; 0 when
// there is none.
std::size_t positionLowered(TextView text, TextView lowerWord) {
    for (std::size_t pos = 0; pos + lowerWord.size() <= text.size(); ++pos)
        if (platform::loweredAt(text, pos, lowerWord)) return pos + 1;
    return 0;
}

constexpr char16_t kOrganisationMarker[] = u"/o=";

}  // namespace

void Functions::CheckMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue,
                          Boolean& Newmail) {
    bool Spammail = false;  // never assigned; the report lists it
    Procedure(*this, u"CheckMail", Site::none())
        .locals({KW_VAR(Spammail)})
        .params({KW_VAR(OutlookNS), KW_VAR(OutlookMail), KW_VAR(OutlookVersionValue), KW_VAR(Newmail)})
        .run([&] {
            ObjNS = OutlookNS;
            perCall(
                [&] {
                    Outlookversion = OutlookVersionValue;
                    // The whole check runs with failures ignored: the
                    // procedures inside report what fails, the add-in is
                    // told nothing, and the mail stays where it is.
                    ignoringFailure([&] {
                        if (OutlookMail) CheckMailItemForSpam(OutlookMail, Newmail);
                    });
                },
                &OutlookNS, &OutlookMail);
        });
}

void Functions::CheckMailItemForSpam(ComPtr<_MailItem>& MailItem, Boolean& Newmail, Site at) {
    double SpamVote = 0, SpamThreshold = 0;
    bool Spammail = false;  // never assigned; the report lists it
    Procedure(*this, u"CheckMailItemForSpam", at)
        .locals({KW_VAR(SpamVote), KW_VAR(SpamThreshold), KW_VAR(Spammail)})
        .params({KW_VAR(MailItem), KW_VAR(Newmail)})
        .run([&] {
            bool spam = false;
            if (!CheckSameExchangeServer(MailItem)) {
                // The threshold is read before the message is assembled.
                SpamThreshold = General::GetThreshold();
                SpamVote = GetVote(MailItem, Newmail);
                if (SpamVote >= SpamThreshold) {
                    const bool toSpambox = true;
                    MoveMessage(MailItem, toSpambox);
                    spam = true;
                }
            }
            if (RecheckFolder) General::RecheckCount(spam);
        });
}

bool Functions::CheckSameExchangeServer(ComPtr<_MailItem>& MailItem, Site at) {
    ComPtr<IDispatch> KWfunctions;  // never assigned; the report lists it
    Text EmailReceiverType, EmailSenderType, EmailReceiver, EmailSender, vTemp;
    return Procedure(*this, u"CheckSameExchangeServer", at)
        .locals({KW_VAR(KWfunctions), KW_VAR(EmailReceiverType), KW_VAR(EmailSenderType), KW_VAR(EmailReceiver),
                 KW_VAR(EmailSender), KW_VAR(vTemp)})
        .params({KW_VAR(MailItem)})
        .run([&] {
            mailhelper::SourceItem(SafeMailItem, MailItem.get());
            // With "CheckMails" set every mail is voted on.
            if (General::GetCheckMail() != 0) return false;
            EmailReceiverType = asText(*mailhelper::Fields(SafeMailItem, mailhelper::PR_RCVD_REPRESENTING_ADDRTYPE));
            EmailSenderType = asText(*mailhelper::Fields(SafeMailItem, mailhelper::PR_SENT_REPRESENTING_ADDRTYPE));
            if (platform::upperCase(EmailReceiverType) != u"EX" || platform::upperCase(EmailSenderType) != u"EX")
                return false;
            EmailReceiver = asText(*mailhelper::Fields(SafeMailItem, mailhelper::PR_RCVD_REPRESENTING_EMAIL_ADDRESS));
            EmailSender = asText(*mailhelper::Fields(SafeMailItem, mailhelper::PR_SENT_REPRESENTING_EMAIL_ADDRESS));
            if (positionLowered(EmailReceiver, kOrganisationMarker) == 0 ||
                positionLowered(EmailSender, kOrganisationMarker) == 0)
                return false;
            // An address becomes its organisation: what follows the first
            // marker, up to the next "/". The marker is found without regard
            // to case; the names are compared with it.
            const auto organisation = [&](Text& address) {
                vTemp = address.substr(positionLowered(address, kOrganisationMarker) - 1 + 3);
                const std::size_t slash = vTemp.find(u'/');
                address = slash == Text::npos ? vTemp : vTemp.substr(0, slash);
            };
            organisation(EmailReceiver);
            organisation(EmailSender);
            return EmailSender == EmailReceiver;
        });
}

std::int32_t Functions::GetVote(ComPtr<_MailItem>& objMail, Boolean& Newmail, Site at) {
    Text myMessage;
    std::int32_t mailVote = 0;
    return Procedure(*this, u"GetVote", at)
        .locals({KW_VAR(myMessage), KW_VAR(mailVote)})
        .params({KW_VAR(objMail), KW_VAR(Newmail)})
        .run([&] {
            mailVote = 0;
            myMessage = GetCompleteMessageContent(objMail);
            // A mail without text is not sent; its vote stays 0.
            if (!myMessage.empty()) mailVote = spamclient::QueryVote(SpamClientCOM, myMessage, Newmail);
            return mailVote;
        });
}

void Functions::CastVote(ComPtr<_MailItem>& objMail, std::int32_t mailVote, Site at) {
    Text myMessage;
    std::int32_t voteResult = 0;
    Procedure(*this, u"CastVote", at)
        .locals({KW_VAR(myMessage), KW_VAR(voteResult)})
        .params({KW_VAR(objMail), KW_VAR(mailVote)})
        .run([&] {
            myMessage = GetCompleteMessageContent(objMail);
            // Sent also when empty: the verdict is the user's.
            voteResult = spamclient::SubmitVote(SpamClientCOM, myMessage, mailVote);
        });
}

}  // namespace kw
