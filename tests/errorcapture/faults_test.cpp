// Processor faults inside the component become run-time errors that the
// innermost running procedure reports, and the process goes on.
#include <gtest/gtest.h>

#include <thread>

#include "errorcapture/frame.h"
#include "errorcapture/modStartup.h"
#include "errorcapture/state.h"
#include "support/fixture.h"

namespace kwtest {
namespace {

using kw::Procedure;
using kw::RuntimeError;
using kw::Site;
namespace startup = kw::modStartup;

TEST(ExceptionNames, KnownCodesHaveTheirNamesOthersTheirHexDigits) {
    EXPECT_EQ(startup::GetExceptionName(0xC0000005u), u"Access Violation");
    EXPECT_EQ(startup::GetExceptionName(0xC000008Eu), u"Divide By Zero");
    EXPECT_EQ(startup::GetExceptionName(0xC0000090u), u"Invalid Operation");
    EXPECT_EQ(startup::GetExceptionName(0xC0000094u), u"Integer Divide By Zero");
    EXPECT_EQ(startup::GetExceptionName(0xC000013Au), u"Control-C Exit");
    EXPECT_EQ(startup::GetExceptionName(1u), u"Unknown (&H00000001)");
    EXPECT_EQ(startup::GetExceptionName(0xE06D7363u), u"Unknown (&HE06D7363)");
}

TEST(ExceptionNumbers, AreTheMaskedCodeOrTenThousandNamedAfterTheInnermostRecord) {
    auto numberOf = [](std::uint32_t code) { return startup::faultError(platform::FaultRecord{code, nullptr}).number(); };
    EXPECT_EQ(numberOf(0xC0000005u), 10005);
    EXPECT_EQ(numberOf(0xC0000094u), 10132);
    EXPECT_EQ(numberOf(0xC00000FDu), 10237);
    EXPECT_EQ(numberOf(0x80000003u), 10003);
    EXPECT_EQ(numberOf(0xC000013Au), 10042);

    const platform::FaultRecord inner{0xC0000094u, nullptr};
    const platform::FaultRecord middle{0xC0000005u, &inner};
    const platform::FaultRecord outer{0x80000003u, &middle};
    const RuntimeError e = startup::faultError(outer);
    EXPECT_EQ(e.number(), 10132);
    EXPECT_EQ(e.description(), u"Integer Divide By Zero");
    EXPECT_EQ(e.source(), u"vbcsExceptionFilter");
}

TEST(ExceptionFilter, IsInstalledOncePerThread) {
    kw::errorState().vbcsHasInitialised = false;
    const int before = platform::faultHandlerInstallCalls();
    startup::InstallExceptionFilter();
    startup::InstallExceptionFilter();
    EXPECT_EQ(platform::faultHandlerInstallCalls(), before + 1);
    EXPECT_TRUE(kw::errorState().vbcsHasInitialised);
    std::thread other([] {
        startup::InstallExceptionFilter();
        EXPECT_TRUE(kw::errorState().vbcsHasInitialised);
    });
    other.join();
    EXPECT_EQ(platform::faultHandlerInstallCalls(), before + 2) << "every thread installs it for itself";
}

// Faults on purpose: kept out of the sanitizers' sight and out of line, so
// that the fault happens in a function the procedure calls.
int* volatile gNowhere = nullptr;
volatile int gZero = 0;
volatile bool gForever = true;
volatile int gSink = 0;  // keeps the faulting calls and their results
__attribute__((noinline, no_sanitize("undefined"))) void writeThrough(int* target) { *target = 1; }
__attribute__((noinline, no_sanitize("undefined"))) int divide(int a, int b) { return a / b; }
__attribute__((noinline, no_sanitize("address", "undefined"))) int recurse(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return (gForever ? recurse(depth + 1) : 0) + frame[0];
}

template <class Fault>
void Faulting(Fault fault, Site at = Site::here()) {
    std::int32_t Steps = 1;
    Procedure(kSample, u"Faulting", at).locals({KW_VAR(Steps)}).run([&] {
        Steps = 2;
        fault();
    });
}

class Faults : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        kw::errorState().vbcsHasInitialised = false;
        startup::InstallExceptionFilter();
    }
};

TEST_F(Faults, ANullPointerWriteIsReportedAsAccessViolationAndTheProcessGoesOn) {
    for (int round = 0; round < 2; ++round) {  // the second fault must be caught as well
        try {
            Faulting([] { writeThrough(gNowhere); });
            FAIL();
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 65535);
        }
    }
    ASSERT_EQ(env().reports.size(), 2u);
    EXPECT_EQ(env().reports[0].number, 10005);
    EXPECT_EQ(env().reports[0].description, u"Access Violation");
    EXPECT_NE(platform::toUtf8(env().reports[0].report).find("<Steps>2</Steps>"), std::string::npos);
    EXPECT_NE(platform::toUtf8(env().reports[0].report).find("<vbcsErrorSource>vbcsExceptionFilter</vbcsErrorSource>"),
              std::string::npos);
}

TEST_F(Faults, AnIntegerDivisionByZeroIsReportedWithItsName) {
    EXPECT_THROW(Faulting([] { gSink = divide(1, gZero); }), RuntimeError);
    ASSERT_EQ(env().reports.size(), 1u);
    EXPECT_EQ(env().reports[0].number, 10132);
    EXPECT_EQ(env().reports[0].description, u"Integer Divide By Zero");
}

TEST_F(Faults, AFaultInAStepWhoseFailuresAreIgnoredIsSkipped) {
    bool after = false;
    Procedure(kSample, u"Tolerant", Site::none()).run([&] {
        kw::ignoringFailure([] { writeThrough(gNowhere); });
        after = true;
    });
    EXPECT_TRUE(after);
    EXPECT_TRUE(env().reports.empty());
}

TEST_F(Faults, AStackOverflowInAStepWhoseFailuresAreIgnoredIsSkipped) {
    bool after = false;
    std::thread small([&] {
        startup::InstallExceptionFilter();
        Procedure(kSample, u"Tolerant", Site::none()).run([&] {
            kw::ignoringFailure([] { gSink = recurse(0); });
            after = true;
        });
    });
    small.join();
    EXPECT_TRUE(after);
    EXPECT_TRUE(env().reports.empty());
}

TEST_F(Faults, AStackOverflowIsReportedByTheInnermostProcedure) {
    std::vector<standins::ErrorReport> reports;
    std::thread small([&] {
        startup::InstallExceptionFilter();
        try {
            Faulting([] { gSink = recurse(0); });
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 65535);
        }
    });
    small.join();
    ASSERT_EQ(env().reports.size(), 1u);
    EXPECT_EQ(env().reports[0].number, 10237);
    EXPECT_EQ(env().reports[0].description, u"Stack Overflow");
}

}  // namespace
}  // namespace kwtest
