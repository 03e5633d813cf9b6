// The anti-spam client's classifier object backed by bogofilter, put into
// the class table in place of the scripted stand-in while this object
// lives. Every instance the component creates shares one Bogofilter, so a
// run keeps one classifier process however many calls it makes.
//
//   QueryVote       the spamicity x 100, truncated (0.5 is 50: spam at the
//                   default threshold)
//   SubmitVote      100 registers the text as spam, -100 as ham; a verdict
//                   the other way round than the one registered before
//                   undoes that one, the same verdict again changes nothing
//                   (the registrations are kept beside the word list)
//   PrepareBody     the body unchanged: bogofilter reads it itself
//   SignAttachment  the SHA-256 digest of the content, in hex
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "standins/bogofilter.h"

namespace standins {

class BogofilterClient {
public:
    // Keeps the word list and the registrations in dataDir.
    explicit BogofilterClient(std::string dataDir);
    ~BogofilterClient();
    BogofilterClient(const BogofilterClient&) = delete;
    BogofilterClient& operator=(const BogofilterClient&) = delete;

    std::int32_t vote(const std::string& message);
    // Returns 1 when it registered the text, 0 when it was registered so already.
    std::int32_t submit(const std::string& message, bool spam);

    // Votes given in this run, by tens (90 to 100 in the last).
    std::array<long, 10> votesByTen{};

private:
    Bogofilter classifier_;
    std::string registrations_;
    std::unordered_map<std::string, bool> registered_;  // digest of the text: spam
};

// The SHA-256 digest of bytes, in lower-case hex.
std::string sha256Hex(const std::string& bytes);

}  // namespace standins
