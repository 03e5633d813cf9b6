#include "standins/bogofilter.h"

#include <gmock/gmock.h>

#include "outside/spamclient.h"
#include "standins/bogoclient.h"
#include "standins/recorder.h"
#include "support/files.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

TEST(Bogofilter, SpamicityTextsTruncateToVotes) {
    EXPECT_EQ(standins::voteFromSpamicity("1"), 100);
    EXPECT_EQ(standins::voteFromSpamicity("0.5"), 50);
    EXPECT_EQ(standins::voteFromSpamicity("0.57"), 57);
    EXPECT_EQ(standins::voteFromSpamicity("0.499999"), 49);
    EXPECT_EQ(standins::voteFromSpamicity("4.49586e-06"), 0);
    EXPECT_THROW(standins::voteFromSpamicity("junk"), std::runtime_error);
    EXPECT_THROW(standins::voteFromSpamicity("1.5"), std::runtime_error);
}

using platform::ComPtr;

// The classifier as the component reaches it: created from the class table,
// called by slot.
ComPtr<_SpamClientCOM> createClient() {
    ComPtr<_SpamClientCOM> client;
    EXPECT_EQ(CoCreateInstance(kw::spamclient::CLSID_SpamClientCOM, nullptr, CLSCTX_INPROC_SERVER,
                               kw::spamclient::IID_SpamClientCOM, client.putVoid()), S_OK);
    return client;
}

LONG submit(const ComPtr<_SpamClientCOM>& client, const std::string& text, LONG vote) {
    platform::Bstr message(platform::fromUtf8(text));
    LONG result = -1;
    EXPECT_EQ(client->SubmitVote(message.get(), vote, &result), S_OK);
    return result;
}

LONG query(const ComPtr<_SpamClientCOM>& client, const std::string& text) {
    platform::Bstr message(platform::fromUtf8(text));
    LONG vote = -1;
    EXPECT_EQ(client->QueryVote(message.get(), VARIANT_TRUE, &vote), S_OK);
    return vote;
}

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v bogofilter >/dev/null") != 0) GTEST_SKIP() << "bogofilter is not installed";
    }
    void TearDown() override { EXPECT_EQ(standins::liveObjects().load(), 0); }
    kwtest::TempDir dir_;
};

TEST_F(ClientTest, VerdictsRegisterOnceAndAReversalUndoesTheFirst) {
    const std::string spam = "Subject: cheap pills\n\nbuy cheap pills now winner prize\n";
    const std::string ham = "Subject: meeting\n\nlunch at noon tomorrow with the team\n";
    {
        standins::BogofilterClient classifier(dir_.path().string());
        ComPtr<_SpamClientCOM> client = createClient();
        EXPECT_EQ(submit(client, spam, 100), 1);
        EXPECT_EQ(submit(client, spam, 100), 0) << "the same verdict again registers nothing";
        EXPECT_EQ(submit(client, ham, -100), 1);
        EXPECT_GE(query(client, spam), 90);
        EXPECT_LE(query(client, ham), 10);
        LONG result = 0;
        platform::Bstr text(u"x");
        EXPECT_EQ(client->SubmitVote(text.get(), 7, &result), E_INVALIDARG);
    }
    // A later run knows the registrations and undoes the earlier one.
    standins::BogofilterClient classifier(dir_.path().string());
    ComPtr<_SpamClientCOM> client = createClient();
    EXPECT_EQ(submit(client, ham, -100), 0);
    EXPECT_EQ(submit(client, ham, 100), 1);
    EXPECT_GE(query(client, ham), 50);
}

TEST_F(ClientTest, BodiesPassUnchangedAndSignaturesAreDigestsOfTheContent) {
    standins::BogofilterClient classifier(dir_.path().string());
    ComPtr<_SpamClientCOM> client = createClient();
    auto sign = [&](const platform::Text& tag, const platform::Text& content) {
        platform::Bstr t(tag), c(content), out;
        EXPECT_EQ(client->SignAttachment(t.get(), c.get(), out.put()), S_OK);
        return out.text();
    };
    const platform::Text content(u"\u00ff\u0000binary", 8);
    EXPECT_EQ(sign(u"image/png", content), sign(u"image/gif", content));
    EXPECT_NE(sign(u"image/png", content), sign(u"image/png", content.substr(1)));
    EXPECT_EQ(sign(u"a", u"").size(), 64u);
    platform::Bstr body(u"Gr\u00fc\u00dfe\r\n"), prepared;
    EXPECT_EQ(client->PrepareBody(body.get(), prepared.put()), S_OK);
    EXPECT_EQ(prepared.text(), body.text());
}

TEST_F(ClientTest, WithoutBogofilterAVoteFailsAndSaysHowToInstallIt) {
    standins::BogofilterClient classifier(dir_.path().string());
    ComPtr<_SpamClientCOM> client = createClient();
    const std::string path = std::getenv("PATH");
    setenv("PATH", dir_.path().c_str(), 1);
    platform::Bstr message(u"Subject: x\n\ny\n");
    LONG vote = 0;
    const HRESULT hr = client->QueryVote(message.get(), VARIANT_TRUE, &vote);
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(hr, E_FAIL);
    ComPtr<IErrorInfo> info;
    platform::Bstr description;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    info->GetDescription(description.put());
    EXPECT_THAT(platform::toUtf8(description.view()), ::testing::HasSubstr("apt-get install bogofilter"));
}

}  // namespace
