// The SMTP addresses of the user's contacts, optionally with their names, and
// the name of the mail profile.
#include "functions/Functions.h"

namespace kw {

namespace {
constexpr char16_t kEntryBar = u'|';
constexpr char16_t kSmtp[] = u"SMTP";
constexpr std::int32_t kSmtpAddressTag = 0x39FE001E;  // PR_SMTP_ADDRESS, for the report only
constexpr std::int16_t kString8Type = 30;             // PT_STRING8, for the report only
}  // namespace

Text Functions::GetContactlist(Boolean& withName) {
    ByName<IDispatch> cContacts, cFolder;
    Text ContactList, result;
    return Procedure(*this, u"GetContactlist", Site::none())
        .locals({KW_VAR(cContacts), KW_VAR(cFolder), KW_VAR(ContactList)})
        .params({KW_VAR(withName)})
        .run([&] {
            perCall([&] {
                // Without a contacts folder there is nothing to list, and no
                // error.
                if (!ignoringFailure([&] { cContacts = outlook::GetDefaultFolder(ObjNS, outlook::olFolderContacts); }))
                    return;
                ContactList = GetContactFolderContent(cContacts, withName);
                // One level of folders below it; deeper ones are not read.
                forEach(outlook::Folders(cContacts), [&](const Variant& item) {
                    cFolder = asObject(*item);
                    ContactList += GetContactFolderContent(cFolder, withName);
                });
                result = ContactList;
                cContacts = nullptr;
                cFolder = nullptr;
            });
            return result;
        });
}

Text Functions::GetContactFolderContent(ByName<IDispatch>& cFolder, Boolean& withName, Site at) {
    ComPtr<IKWContactItem> rContacts;
    ByName<IDispatch> objItems, objItem;
    std::int16_t i = 0;
    Variant prSMTPAddress, SMTPAddress, PT_STRING8;
    Text ContactList, sTemp, sTemp2;
    return Procedure(*this, u"GetContactFolderContent", at)
        .locals({KW_VAR(rContacts), KW_VAR(objItems), KW_VAR(objItem), KW_VAR(i), KW_VAR(prSMTPAddress),
                 KW_VAR(SMTPAddress), KW_VAR(PT_STRING8), KW_VAR(ContactList), KW_VAR(sTemp), KW_VAR(sTemp2)})
        .params({KW_VAR(cFolder), KW_VAR(withName)})
        .run([&] {
            rContacts = createObject<IKWContactItem>(Text(mailhelper::kContactItemProgId));
            objItems = outlook::Items(cFolder);
            prSMTPAddress = Variant::i4(kSmtpAddressTag);
            PT_STRING8 = Variant::i2(kString8Type);
            objItem = outlook::GetFirst(objItems);
            i = 0;
            while (objItem) {
                mailhelper::SourceItem(rContacts, objItem.get());
                // The name is the contact's own: read with its first SMTP
                // address, or when the first entry that shows it needs it.
                bool nameRead = false;
                const auto addEntry = [&] {
                    ContactList += kEntryBar;
                    ContactList += sTemp;
                    if (withName) {
                        if (!nameRead) sTemp2 = outlook::FullName(objItem);
                        nameRead = true;
                        ContactList += u'\0';
                        ContactList += platform::trimSpaces(sTemp2);
                    }
                    ContactList += kEntryBar;
                };
                for (int slot = 1; slot <= 3; ++slot) {
                    if (mailhelper::EmailAddressType(rContacts, slot) != kSmtp) continue;
                    sTemp = Text(platform::trimSpaces(mailhelper::EmailAddress(rContacts, slot)));
                    if (slot == 1) {
                        sTemp2 = outlook::FullName(objItem);
                        nameRead = true;
                    }
                    if (!sTemp.empty()) addEntry();
                }
                objItem = outlook::GetNext(objItems);
            }
            objItems = nullptr;
            objItem = nullptr;
            rContacts = nullptr;
            return ContactList;
        });
}

Text Functions::GetProfileName() {
    Text result;
    return Procedure(*this, u"GetProfileName", Site::none()).run([&] {
        perCall([&] {
            // A new utility object for every call; none survives one that
            // succeeds.
            objMAPIUtil = createObject<IKWMAPIUtils>(Text(mailhelper::kMAPIUtilsProgId));
            result = mailhelper::CurrentProfileName(objMAPIUtil);
            objMAPIUtil = nullptr;
        });
        return result;
    });
}

}  // namespace kw
