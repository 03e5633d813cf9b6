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

// PATH for the life of the object, so that "bogofilter" is the test's own.
class SearchPath {
public:
    explicit SearchPath(const std::filesystem::path& dir) { setenv("PATH", dir.c_str(), 1); }
    ~SearchPath() { setenv("PATH", saved_.c_str(), 1); }

private:
    std::string saved_ = std::getenv("PATH");
};

TEST_F(ClientTest, WithoutBogofilterAVoteFailsAndSaysHowToInstallIt) {
    standins::BogofilterClient classifier(dir_.path().string());
    ComPtr<_SpamClientCOM> client = createClient();
    platform::Bstr message(u"Subject: x\n\ny\n");
    LONG vote = 0;
    HRESULT hr = S_OK;
    {
        SearchPath none(dir_.path());
        hr = client->QueryVote(message.get(), VARIANT_TRUE, &vote);
    }
    EXPECT_EQ(hr, E_FAIL);
    ComPtr<IErrorInfo> info;
    platform::Bstr description;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    info->GetDescription(description.put());
    EXPECT_THAT(platform::toUtf8(description.view()), ::testing::HasSubstr("apt-get install bogofilter"));
}

// A batch process that dies, or answers with something that is no
// spamicity, fails that one vote; the next vote is answered by a fresh batch.
TEST(Bogofilter, ABatchThatDiesOrAnswersJunkFailsOneVoteAndTheNextStartsAgain) {
    kwtest::TempDir bin, words;
    const std::filesystem::path runs = bin / "runs";
    // Run 1 answers once, then dies; run 2 answers junk once, then answers
    // well; run 3 answers well.
    // Shell built-ins only: the test's PATH holds nothing but this script.
    const std::string count = "'" + runs.string() + "'";
    kwtest::writeFileBytes(bin / "bogofilter", "#!/bin/sh\n"
                                               "n=0; [ -f " + count + " ] && read n <" + count + "\n"
                                               "n=$((n + 1)); echo $n >" + count + "\n"
                                               "case $n in\n"
                                               "1) read p; echo \"$p S 0.75\"; exit 1 ;;\n"
                                               "2) read p; echo \"$p junk\" ;;\n"
                                               "esac\n"
                                               "while read p; do echo \"$p H 0.25\"; done\n");
    std::filesystem::permissions(bin / "bogofilter", std::filesystem::perms::owner_all);
    SearchPath fake(bin.path());
    standins::Bogofilter classifier(words.path().string());
    EXPECT_EQ(classifier.vote("Subject: 1\n\n"), 75);
    EXPECT_THROW(classifier.vote("Subject: 2\n\n"), std::runtime_error);
    EXPECT_THROW(classifier.vote("Subject: 3\n\n"), std::runtime_error);
    EXPECT_EQ(classifier.vote("Subject: 4\n\n"), 25);
    EXPECT_EQ(classifier.vote("Subject: 5\n\n"), 25);
    EXPECT_EQ(kwtest::fileBytes(runs), "3\n");
    std::size_t left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(words.path()))
        left += entry.path().filename() != "bogofilter.log";
    EXPECT_EQ(left, 0u) << "every mail written for a vote is removed";
}

}  // namespace
