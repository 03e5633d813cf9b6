// A spam classifier backed by bogofilter: one long-lived batch process
// answers every vote of a run, and training calls register mail in the
// word list kept in the given directory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/types.h>

namespace standins {

class Bogofilter {
public:
    explicit Bogofilter(std::string wordlistDir);  // calls throw std::runtime_error when bogofilter cannot run
    ~Bogofilter();
    Bogofilter(const Bogofilter&) = delete;
    Bogofilter& operator=(const Bogofilter&) = delete;

    // Spamicity x 100, truncated toward zero (0.5 gives 50).
    std::int32_t vote(const std::string& mail);
    // Registers mail as spam or ham; undoOpposite first removes an earlier
    // registration the other way.
    void train(const std::string& mail, bool spam, bool undoOpposite);

private:
    std::string writeTemp(const std::string& mail);
    void startBatch();
    void stopBatch();

    std::string dir_;
    pid_t batch_ = -1;
    FILE* toBatch_ = nullptr;
    FILE* fromBatch_ = nullptr;
};

// Parses bogofilter's spamicity text ("1", "0.5", "4.49586e-06") into a vote.
std::int32_t voteFromSpamicity(const std::string& text);

}  // namespace standins
