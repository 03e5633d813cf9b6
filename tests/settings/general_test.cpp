// The client settings: where each lives, its default, its conversion, the
// counters, and the report of a counter overflow.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>

#include "settings/General.h"
#include "settings/RegRW.h"
#include "support.h"
#include "support/calls.h"
#include "support/raised.h"

namespace kwtest {
namespace {

namespace General = kw::General;

constexpr std::int32_t HKCU = platform::root::CurrentUser;
constexpr char kRecheck[] = "Software\\Kestrelwood\\Clients\\Outlook\\Recheck";

template <class Kind>
class Settings : public CallTest {
protected:
    TempDir dir;
    std::shared_ptr<kw::settings::KeyStore> store = Kind::make(dir);
    std::optional<UseSettings> use;

    // The stand-ins' environment brings a backend of its own; this one
    // takes its place.
    void SetUp() override {
        CallTest::SetUp();
        use.emplace(store);
    }
    void TearDown() override {
        use.reset();
        CallTest::TearDown();
    }

    // A counter's value, or nothing when it is not stored.
    std::optional<std::int32_t> counter(const char* name) {
        DWORD type = 0;
        std::string data;
        if (!storedValue(*store, HKCU, kRecheck, name, type, data)) return std::nullopt;
        EXPECT_EQ(type, 4u);
        std::int32_t value = 0;
        std::memcpy(&value, data.data(), std::min<std::size_t>(data.size(), 4));
        return value;
    }
};
TYPED_TEST_SUITE(Settings, StoreKinds, StoreKindNames);

TYPED_TEST(Settings, AFreshStoreGivesTheDefaults) {
    EXPECT_EQ(General::GetThreshold(), 50);
    EXPECT_TRUE(General::GetMoveMsgRead());
    EXPECT_EQ(General::GetCheckMail(), 0);
    EXPECT_EQ(General::GetSpamfolderID(u""), u"");
    EXPECT_EQ(General::GetSpamfolderID(u"Default"), u"");
    EXPECT_TRUE(this->env().reports.empty());
}

// Each row stores a number and reads it back through its accessor; every
// call reads afresh. The threshold is 50 when missing or 0, only a "Move as
// Read" of 1 gives False, and CheckMails counts only under the Exchange key.
TYPED_TEST(Settings, EachNumberIsReadAfreshFromItsOwnKey) {
    enum Accessor { Threshold, MoveMsgRead, CheckMail };
    const Text thresholds = kThresholdKey, settings = kClientSettings;
    const struct {
        Accessor accessor;
        Text key;
        const char16_t* name;
        std::int32_t stored, expected;
    } rows[] = {
        {Threshold, thresholds, u"Filter", 0, 50},         {Threshold, thresholds, u"Filter", 1, 1},
        {Threshold, thresholds, u"Filter", -5, -5},        {Threshold, thresholds, u"Filter", 80, 80},
        {Threshold, thresholds, u"Filter", 0, 50},         {MoveMsgRead, settings, u"Move as Read", 1, false},
        {MoveMsgRead, settings, u"Move as Read", 0, true}, {MoveMsgRead, settings, u"Move as Read", 2, true},
        {MoveMsgRead, settings, u"Move as Read", -1, true}, {MoveMsgRead, settings, u"Move as Read", 1, false},
        {CheckMail, settings + u"\\Exchange", u"CheckMails", 3, 3}, {CheckMail, settings, u"CheckMails", 7, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(platform::toUtf8(row.name) + " = " + std::to_string(row.stored));
        this->setNumber(row.key, row.name, row.stored);
        const std::int32_t got = row.accessor == Threshold     ? General::GetThreshold()
                                 : row.accessor == MoveMsgRead ? General::GetMoveMsgRead()
                                                               : General::GetCheckMail();
        EXPECT_EQ(got, row.expected);
    }
}

TYPED_TEST(Settings, TheSpamFolderIdLivesPerProfileWithTheNameAppendedAsItIs) {
    const Text folders = kFoldersKey;
    General::WriteSpamfolderID(u"", u"00000000ROOT");
    General::WriteSpamfolderID(u"Default", u"00000000DEFAULT");
    General::WriteSpamfolderID(u"Work\\Home", u"00000000NESTED");
    EXPECT_EQ(this->text(folders, u"Filter"), u"00000000ROOT");
    EXPECT_EQ(this->text(folders + u"\\Default", u"Filter"), u"00000000DEFAULT");
    EXPECT_EQ(this->text(folders + u"\\Work\\Home", u"Filter"), u"00000000NESTED");
    EXPECT_EQ(General::GetSpamfolderID(u""), u"00000000ROOT");
    EXPECT_EQ(General::GetSpamfolderID(u"Default"), u"00000000DEFAULT");
    EXPECT_EQ(General::GetSpamfolderID(u"Work\\Home"), u"00000000NESTED");
    EXPECT_EQ(General::GetThreshold(), 50) << "the threshold's \"Filter\" is another value";
}

TYPED_TEST(Settings, TheCountersStartFromZeroAndTheSpamCounterOnlyForSpam) {
    General::RecheckCount(false);
    EXPECT_EQ(this->counter("Mails checked"), 1);
    EXPECT_EQ(this->counter("Mails spam"), std::nullopt);
    General::RecheckCount(true);
    EXPECT_EQ(this->counter("Mails checked"), 2);
    EXPECT_EQ(this->counter("Mails spam"), 1);
}

// A counter at the largest Long overflows before it is written: the error
// block reports 6 and raises 65535. The counters are written one after the
// other, so a spam counter overflow leaves "Mails checked" incremented.
TYPED_TEST(Settings, ACounterAtTheLargestLongOverflowsBeforeItIsWritten) {
    const struct {
        std::int32_t checked;
        std::optional<std::int32_t> spam, checkedAfter, spamAfter;
    } rows[] = {{INT_MAX, std::nullopt, INT_MAX, std::nullopt}, {5, INT_MAX, 6, INT_MAX}};
    for (const auto& row : rows) {
        this->env().reports.clear();
        this->setNumber(kRecheckKey, u"Mails checked", row.checked);
        if (row.spam) this->setNumber(kRecheckKey, u"Mails spam", *row.spam);
        EXPECT_EQ(raisedBy([] { General::RecheckCount(true); }).number(), 65535);
        EXPECT_EQ(this->counter("Mails checked"), row.checkedAfter);
        EXPECT_EQ(this->counter("Mails spam"), row.spamAfter);
        EXPECT_EQ(this->reportChain(), (Chain{{u"RecheckCount", 6}}));
    }
}

// A registry call that fails never surfaces from an accessor: the setting
// reads as missing, a write is silently not made. Each row stores the
// settings, fails one call of one accessor, and checks what the accessor
// gave and what the store holds afterwards.
struct RegistryFailure {
    const char* accessor;
    const char* call;       // the backend function that fails
    int nth;                // its n-th call inside the accessor
    const char* outcome;    // what the accessor gave, or the stored value afterwards
};

class RegistryFailures : public CallTest, public ::testing::WithParamInterface<RegistryFailure> {};

TEST_P(RegistryFailures, GiveTheDefaultOrWriteNothingWithoutAReport) {
    const RegistryFailure& row = GetParam();
    const Text defaultProfile = Text(kFoldersKey) + u"\\Default";
    setNumber(kThresholdKey, u"Filter", 7);
    setNumber(kClientSettings, u"Move as Read", 1);
    setNumber(Text(kClientSettings) + u"\\Exchange", u"CheckMails", 1);
    setText(defaultProfile, u"Filter", u"STORED");
    setNumber(kRecheckKey, u"Mails checked", 41);
    setNumber(kRecheckKey, u"Mails spam", 9);
    calls().failOn(std::string("Settings.") + row.call, E_FAIL, row.nth);

    const std::string accessor = row.accessor;
    std::string outcome;
    if (accessor == "GetThreshold") {
        outcome = std::to_string(General::GetThreshold());
    } else if (accessor == "GetMoveMsgRead") {
        outcome = General::GetMoveMsgRead() ? "True" : "False";
    } else if (accessor == "GetCheckMail") {
        outcome = std::to_string(General::GetCheckMail());
    } else if (accessor == "GetSpamfolderID") {
        outcome = platform::toUtf8(General::GetSpamfolderID(u"Default"));
    } else if (accessor == "WriteSpamfolderID") {
        General::WriteSpamfolderID(u"Default", u"NEW");
        outcome = platform::toUtf8(text(defaultProfile, u"Filter"));
    } else {
        General::RecheckCount(true);
        outcome = std::to_string(number(kRecheckKey, u"Mails checked")) + "/" + std::to_string(number(kRecheckKey, u"Mails spam"));
    }
    EXPECT_EQ(outcome, row.outcome);
    EXPECT_TRUE(env().reports.empty()) << "a registry failure is never reported";
}

INSTANTIATE_TEST_SUITE_P(
    EveryRegistryCall, RegistryFailures,
    ::testing::Values(
        // A setting that cannot be read is missing, and missing means its default.
        RegistryFailure{"GetThreshold", "RegOpenKeyA", 1, "50"},
        RegistryFailure{"GetThreshold", "RegQueryValueExA", 1, "50"},
        RegistryFailure{"GetMoveMsgRead", "RegOpenKeyA", 1, "True"},
        RegistryFailure{"GetMoveMsgRead", "RegQueryValueExA", 1, "True"},
        RegistryFailure{"GetCheckMail", "RegOpenKeyA", 1, "0"},
        RegistryFailure{"GetCheckMail", "RegQueryValueExA", 1, "0"},
        RegistryFailure{"GetSpamfolderID", "RegOpenKeyA", 1, ""},
        RegistryFailure{"GetSpamfolderID", "RegQueryValueExA", 1, ""},
        // The folder identity is then silently not stored.
        RegistryFailure{"WriteSpamfolderID", "RegCreateKeyA", 1, "STORED"},
        RegistryFailure{"WriteSpamfolderID", "RegSetValueExA", 1, "STORED"},
        // A counter that cannot be read counts from 0 again: it becomes 1.
        RegistryFailure{"RecheckCount", "RegOpenKeyA", 1, "1/10"},
        RegistryFailure{"RecheckCount", "RegQueryValueExA", 1, "1/10"},
        RegistryFailure{"RecheckCount", "RegOpenKeyA", 2, "42/1"},
        RegistryFailure{"RecheckCount", "RegQueryValueExA", 2, "42/1"},
        // One that cannot be written keeps its value; the other still counts.
        RegistryFailure{"RecheckCount", "RegCreateKeyA", 1, "41/10"},
        RegistryFailure{"RecheckCount", "RegSetValueExA", 1, "41/10"},
        RegistryFailure{"RecheckCount", "RegSetValueExA", 2, "42/9"}),
    [](const auto& row) {
        return std::string(row.param.accessor) + "_" + row.param.call + "_" + std::to_string(row.param.nth);
    });

}  // namespace
}  // namespace kwtest
