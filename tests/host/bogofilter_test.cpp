#include "standins/bogofilter.h"

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

TEST(Bogofilter, TrainedMailVotesItsWayAndReversalUndoes) {
    if (std::system("command -v bogofilter >/dev/null") != 0) GTEST_SKIP() << "bogofilter is not installed";
    const auto dir = std::filesystem::temp_directory_path() / ("kwbogo-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        standins::Bogofilter classifier(dir.string());
        const std::string spam = "Subject: cheap pills\n\nbuy cheap pills now winner prize\n";
        const std::string ham = "Subject: meeting\n\nlunch at noon tomorrow with the team\n";
        classifier.train(spam, true, false);
        classifier.train(ham, false, false);
        EXPECT_GE(classifier.vote(spam), 90);
        EXPECT_LE(classifier.vote(ham), 10);
        // The user reverses the ham verdict: it becomes spam and no longer counts as ham.
        classifier.train(ham, true, true);
        EXPECT_GE(classifier.vote(ham), 50);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}) > 0, true);
    std::filesystem::remove_all(dir);
}

}  // namespace
