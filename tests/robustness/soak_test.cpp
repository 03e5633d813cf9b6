// Many public calls in a row against the in-process stand-ins: the resident
// size stays flat and every reference the component took is given back.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

#include "support/calls.h"

namespace kwtest {
namespace {

// The resident size of this process in bytes.
long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Under AddressSanitizer freed memory waits in quarantine, so the resident
// size grows whatever the component does; there LeakSanitizer checks at exit
// that nothing was lost, and a tenth of the calls keep the run short.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kCalls = 10000;
constexpr bool kResidentSizeTells = false;
#else
constexpr int kCalls = 100000;
constexpr bool kResidentSizeTells = true;
#endif

class Soak : public CallTest {};

TEST_F(Soak, HundredThousandCheckMailCallsKeepMemoryFlatAndReleaseEveryReference) {
    calls().recording = false;
    standins::MailItem* mail = receive(u"an ordinary note");
    long at10000 = 0;
    for (int call = 1; call <= kCalls; ++call) {
        ASSERT_EQ(checkMail(mail), S_OK) << "call " << call;
        // The spam client stand-in keeps every text it was given; what it
        // keeps is the test's, not the component's, so it is let go of.
        if (call % 1000 == 0) {
            ASSERT_EQ(env().spam.queried.size(), 1000u);
            env().spam.queried.clear();
            env().spam.newMail.clear();
            env().spam.submitted.clear();
        }
        if (call == 10000) at10000 = residentBytes();
    }
    const long at100000 = residentBytes();
    RecordProperty("resident_at_10000", std::to_string(at10000));
    RecordProperty("resident_at_100000", std::to_string(at100000));
    std::printf("resident size: %ld KB after 10 000 calls, %ld KB after %d\n", at10000 / 1024, at100000 / 1024, kCalls);
    // Ninety thousand more calls may not take more than a little noise.
    if (kResidentSizeTells) {
        EXPECT_LT(at100000 - at10000, 4L << 20);
    }
    EXPECT_TRUE(env().reports.empty());
}

}  // namespace
}  // namespace kwtest
