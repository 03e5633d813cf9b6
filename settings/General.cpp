#include "settings/General.h"

#include "errorcapture/frame.h"
#include "settings/RegRW.h"

namespace kw::General {

namespace {

// The client root: most settings lie below it.
constexpr char16_t kClientRoot[] = u"Software\\Kestrelwood\\Clients\\Outlook";

Text clientKey(const char16_t* below) { return Text(kClientRoot) + below; }

// The profile name is appended as it is, without any escaping.
Text folderKey(const Text& ProfileName) {
    return ProfileName.empty() ? clientKey(u"\\Settings\\Folders") : clientKey(u"\\Settings\\Folders\\") + ProfileName;
}

Text readSetting(const Text& keyPath, const Text& valueName, const Text& letter) {
    return RegRW::RegRead(keyPath, valueName, letter, false, Text(), platform::root::CurrentUser);
}

void writeSetting(const Text& keyPath, const Text& valueName, const Text& letter, const Variant& value) {
    RegRW::RegWrite(keyPath, valueName, letter, value, false, Text(), platform::root::CurrentUser);
}

// The integer value of a "D" setting: its decimal text as a Long.
std::int32_t integerSetting(const Text& keyPath, const Text& valueName, Site at = Site::here()) {
    return asLong(*Variant::text(readSetting(keyPath, valueName, u"D")), at);
}

}  // namespace

Text GetSpamfolderID(const Text& ProfileName, Site at) {
    return Procedure(modules::General, u"GetSpamfolderID", at).params({KW_VAR(ProfileName)}).run([&] {
        return readSetting(folderKey(ProfileName), u"Filter", u"S");
    });
}

void WriteSpamfolderID(const Text& ProfileName, const Text& SpamfolderID, Site at) {
    Procedure(modules::General, u"WriteSpamfolderID", at).params({KW_VAR(ProfileName), KW_VAR(SpamfolderID)}).run([&] {
        writeSetting(folderKey(ProfileName), u"Filter", u"S", Variant::text(SpamfolderID));
    });
}

std::int32_t GetThreshold(Site at) {
    std::int32_t STresHold = 0;
    return Procedure(modules::General, u"GetThreshold", at).locals({KW_VAR(STresHold)}).run([&] {
        STresHold = integerSetting(u"Software\\Kestrelwood\\Thresholds", u"Filter");
        return STresHold == 0 ? 50 : STresHold;
    });
}

bool GetMoveMsgRead(Site at) {
    std::int32_t TempValue = 0;
    return Procedure(modules::General, u"GetMoveMsgRead", at).locals({KW_VAR(TempValue)}).run([&] {
        TempValue = integerSetting(clientKey(u"\\Settings"), u"Move as Read");
        return TempValue != 1;
    });
}

std::int32_t GetCheckMail(Site at) {
    return Procedure(modules::General, u"GetCheckMail", at).run([&] {
        return integerSetting(clientKey(u"\\Settings\\Exchange"), u"CheckMails");
    });
}

void RecheckCount(const bool& Spammail, Site at) {
    std::int32_t ltemp = 0;
    Procedure(modules::General, u"RecheckCount", at).locals({KW_VAR(ltemp)}).params({KW_VAR(Spammail)}).run([&] {
        const Text key = clientKey(u"\\Recheck");
        // Adds one to a counter; at the largest Long the addition overflows
        // and nothing is written.
        const auto countOne = [&](const Text& valueName) {
            ltemp = integerSetting(key, valueName);
            std::int32_t next = 0;
            if (__builtin_add_overflow(ltemp, 1, &next)) raise(err::Overflow);
            writeSetting(key, valueName, u"D", Variant::i4(next));
        };
        countOne(u"Mails checked");
        if (Spammail) countOne(u"Mails spam");
    });
}

}  // namespace kw::General
