// Processor faults inside the component become run-time errors that unwind
// like any other: the innermost running procedure reports them, references
// held on the way are released, and the process goes on. Every test ends with
// the fixture's checks: no stand-in alive, no exception left registered.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <climits>
#include <csignal>
#include <stdexcept>
#include <thread>

#include "errorcapture/modStartup.h"
#include "errorcapture/state.h"
#include "platform/messagebox.h"
#include "support/fakeobject.h"
#include "support/fixture.h"

namespace kwtest {
namespace {

using kw::Procedure;
using kw::RuntimeError;
using kw::Site;
namespace startup = kw::modStartup;

TEST(ExceptionNames, KnownCodesHaveTheirNamesAndEveryCodeItsNumber) {
    const struct {
        std::uint32_t code;
        const char16_t* name;
        std::int32_t number;
    } rows[] = {
        {0xC0000005u, u"Access Violation", 10005},     {0xC000008Eu, u"Divide By Zero", 10142},
        {0xC0000090u, u"Invalid Operation", 10128},    {0xC0000094u, u"Integer Divide By Zero", 10132},
        {0xC0000095u, u"Integer Overflow", 10133},     {0xC00000FDu, u"Stack Overflow", 10237},
        {0x80000003u, u"Breakpoint", 10003},           {0xC000013Au, u"Control-C Exit", 10042},
        {0x00000001u, u"Unknown (&H00000001)", 10001}, {0xE06D7363u, u"Unknown (&HE06D7363)", 10099},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(startup::GetExceptionName(row.code), row.name);
        EXPECT_EQ(startup::faultError(platform::FaultRecord{row.code, nullptr}).number(), row.number) << row.code;
    }
    // A nested exception is named after its innermost record.
    const platform::FaultRecord inner{0xC0000094u, nullptr};
    const platform::FaultRecord middle{0xC0000005u, &inner};
    const RuntimeError e = startup::faultError(platform::FaultRecord{0x80000003u, &middle});
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
volatile int gZero = 0;
volatile int gMinusOne = -1;
volatile bool gForever = true;
volatile int gSink = 0;  // keeps the faulting calls and their results
__attribute__((noinline, no_sanitize("undefined"))) int divide(int a, int b) { return a / b; }
__attribute__((noinline)) void breakpoint() {
#if defined(__x86_64__) || defined(__i386__)
    __asm__ volatile("int3");
#else
    __builtin_trap();
#endif
}
__attribute__((noinline, no_sanitize("address", "undefined"))) int recurse(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return (gForever ? recurse(depth + 1) : 0) + frame[0];
}

// A new object of the test's own, as the one reference of a ComPtr; the
// release of `object` faults next.
ComPtr<IDispatch> makeFaulty() { return ComPtr<IDispatch>::share(FakeObject::make(std::nullopt).get()); }
void armRelease(const ComPtr<IDispatch>& object) { static_cast<FakeObject*>(object.get())->faultOnRelease = true; }
// One whose walk faults when the variable dump enumerates it.
ComPtr<FakeObject> faultingCollection() {
    ComPtr<FakeObject> object = collection({});
    object->failAt = 0;
    object->faultInstead = true;
    return object;
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
    // Runs a procedure that faults and returns what its caller received.
    template <class Fault>
    std::int32_t raisedBy(Fault fault) {
        try {
            Faulting(fault);
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    }
};

ComPtr<MAPIFolder> gFolder;

// A reference held by a frame between the procedure and the fault.
template <class Fault>
void holdingAReference(standins::DispatchCore* object, Fault fault) {
    Variant held = standins::objectVariant(object);
    fault();
    gSink = static_cast<int>(held.type());
}

TEST_F(Faults, EachFailureIsReportedByTheProcedureWithItsNumberAndTheReferencesOnTheWayAreReleased) {
    struct Case {
        const char* what;
        void (*fault)();
        std::int32_t number;
        const char16_t* description;
        const char16_t* source = u"vbcsExceptionFilter";
    };
    const Case cases[] = {
        {"null-pointer write", [] { writeThrough(gNowhere); }, 10005, u"Access Violation"},
        {"a second one", [] { writeThrough(gNowhere); }, 10005, u"Access Violation"},
        {"integer division by zero", [] { gSink = divide(1, gZero); }, 10132, u"Integer Divide By Zero"},
#if defined(__x86_64__)
        {"INT_MIN / -1", [] { gSink = divide(INT_MIN, gMinusOne); }, 10133, u"Integer Overflow"},
#endif
        {"breakpoint", [] { breakpoint(); }, 10003, u"Breakpoint"},
        {"fault inside a stand-in call", [] { kw::outlook::Name(gFolder); }, 10005, u"Access Violation"},
        {"any other exception", [] { gSink = std::string("x").at(5); }, 51, u"Internal error", u"KWOLFunc"},
        // A fault kept from a release while another failure unwinds does not replace it.
        {"fault in a release while unwinding", [] {
             ComPtr<IDispatch> last = makeFaulty();
             armRelease(last);
             kw::raise(kw::err::Overflow);
         }, 6, u"Overflow", u"KWOLFunc"},
    };
    calls().faultOn("Folder.Name", 1, false);
    standins::Folder* inbox = outlook().defaultFolder(6);
    gFolder = ComPtr<IDispatch>::share(inbox).query<MAPIFolder>();
    const ULONG before = inbox->refCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        env().reports.clear();
        EXPECT_EQ(raisedBy([&] { holdingAReference(inbox, c.fault); }), 65535);
        ASSERT_EQ(env().reports.size(), 1u);
        EXPECT_EQ(env().reports[0].number, c.number);
        EXPECT_EQ(env().reports[0].description, c.description);
        EXPECT_NE(standins::utf8(env().reports[0].report).find("<Steps>2</Steps>"), std::string::npos);
        EXPECT_NE(env().reports[0].report.find(u"<vbcsErrorSource>" + Text(c.source) + u"</vbcsErrorSource>"),
                  Text::npos);
        EXPECT_EQ(inbox->refCount(), before) << "the reference held between the procedure and the fault is released";
    }
    gFolder.reset();
}

// A fault in the body itself, in the frame that holds a reference. (A fault
// inside a C library function that its header declares as never throwing
// cannot run the cleanup of the frame that called it.)
TEST_F(Faults, AFaultInTheBodyUnwindsTheBodysOwnReferences) {
    standins::Folder* inbox = outlook().defaultFolder(6);
    const ULONG before = inbox->refCount();
    // The fault is in the body's own frame, where the reference is held.
    EXPECT_EQ(raisedBy([&]() __attribute__((no_sanitize("undefined"))) {
                  Variant held = standins::objectVariant(inbox);
                  *gNowhere = held.type();
              }),
              65535);
    EXPECT_EQ(inbox->refCount(), before);
    ASSERT_EQ(env().reports.size(), 1u);
    EXPECT_EQ(env().reports[0].number, 10005);
}

TEST_F(Faults, AFaultInAStepWhoseFailuresAreIgnoredIsSkipped) {
    bool after = false;
    Procedure(kSample, u"Tolerant", Site::none()).run([&] {
        EXPECT_FALSE(kw::ignoringFailure([] { writeThrough(gNowhere); }));
        after = true;
    });
    EXPECT_TRUE(after);
    EXPECT_TRUE(env().reports.empty());
}

TEST_F(Faults, AStackOverflowIsTakenByTheInnermostCatchPoint) {
    bool skipped = false;
    std::int32_t raised = 0;
    std::thread small([&] {
        startup::InstallExceptionFilter();
        Procedure(kSample, u"Tolerant", Site::none()).run([&] {
            skipped = !kw::ignoringFailure([] { gSink = recurse(0); });
        });
        // A second overflow on the same thread is taken as well.
        try {
            Faulting([] { gSink = recurse(0); });
        } catch (const RuntimeError& e) {
            raised = e.number();
        }
    });
    small.join();
    EXPECT_TRUE(skipped);
    EXPECT_EQ(raised, 65535);
    ASSERT_EQ(env().reports.size(), 1u) << "the skipped step reports nothing";
    EXPECT_EQ(env().reports[0].number, 10237);
    EXPECT_EQ(env().reports[0].description, u"Stack Overflow");
}

// A release is a step of its procedure: an explicit one faults where it is
// made; one in a destructor, where nothing may be thrown, is raised at the
// end of the body (or step) it belongs to.
TEST_F(Faults, AFaultInAReleaseIsAFailureOfTheProcedureOrStepThatMadeIt) {
    struct Case {
        const char* what;
        void (*release)(ComPtr<IDispatch>& object);
    };
    const Case cases[] = {
        {"reset", [](ComPtr<IDispatch>& o) {
             armRelease(o);
             o.reset();
         }},
        {"assignment of Nothing", [](ComPtr<IDispatch>& o) {
             armRelease(o);
             o = nullptr;
         }},
        {"assignment of another object", [](ComPtr<IDispatch>& o) {
             armRelease(o);
             o = makeFaulty();
         }},
        {"destructor", [](ComPtr<IDispatch>& o) {
             armRelease(o);
             ComPtr<IDispatch> last = std::move(o);
         }},
        {"clearing a variant", [](ComPtr<IDispatch>& o) {
             Variant v = Variant::dispatch(o.get());
             armRelease(o);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        env().reports.clear();
        ComPtr<IDispatch> object = makeFaulty();
        EXPECT_EQ(raisedBy([&] { c.release(object); }), 65535);
        ASSERT_EQ(env().reports.size(), 1u);
        EXPECT_EQ(env().reports[0].number, 10005);
        // Skipped where failures are ignored.
        object = makeFaulty();
        Procedure(kSample, u"Tolerant", Site::none()).run([&] {
            EXPECT_FALSE(kw::ignoringFailure([&] { c.release(object); }));
        });
        EXPECT_EQ(env().reports.size(), 1u);
        object.reset();
    }
}

// Outer calls Middle calls Inner; Inner raises error 6. The error block at
// `faultingDepth` (1 Outer, 2 Middle, 3 Inner) faults while it dumps its
// locals: its failure goes to its caller as that fault's error.
struct Levels {
    static inline IDispatch* faulty = nullptr;
    static inline int faultingDepth = 0;

    static void level(int depth, Site at = Site::here()) {
        static constexpr const char16_t* names[] = {u"Outer", u"Middle", u"Inner"};
        ComPtr<IDispatch> Probe = depth == faultingDepth ? ComPtr<IDispatch>::share(faulty) : ComPtr<IDispatch>();
        Procedure(kSample, names[depth - 1], at).locals({KW_VAR(Probe)}).run([&] {
            if (depth == 3) kw::raise(kw::err::Overflow);
            level(depth + 1);
        });
    }
};

TEST_F(Faults, AFaultInsideAnErrorBlockReachesTheCallerAsItsOwnErrorAtAnyDepth) {
    for (int depth = 1; depth <= 3; ++depth) {
        SCOPED_TRACE(depth);
        env().reports.clear();
        ComPtr<FakeObject> faulty = faultingCollection();
        Levels::faulty = faulty.get();
        Levels::faultingDepth = depth;
        // The boundary of a public call takes what leaves the outermost.
        const HRESULT hr = kw::comBoundary(kw::identity::IID__Functions, [] { Levels::level(1); });

        EXPECT_EQ(faulty->invoked.size(), 1u) << "the faulting block runs once";
        Chain want;
        if (depth < 3) want.emplace_back(u"Inner", 6);
        if (depth == 1) want.emplace_back(u"Middle", 65535);
        if (depth == 3) want.emplace_back(u"Middle", 10005);
        if (depth == 2) want.emplace_back(u"Outer", 10005);
        if (depth == 3) want.emplace_back(u"Outer", 65535);
        EXPECT_EQ(reportChain(), want);
        EXPECT_EQ(hr, static_cast<HRESULT>(depth == 1 ? 0x800A2715u : 0x800AFFFFu));
        Levels::faulty = nullptr;
    }
}

TEST_F(Faults, AFaultInEveryErrorBlockEndsAtTheBoundaryAsAFailingHResult) {
    ComPtr<FakeObject> faulty = faultingCollection();
    const HRESULT hr = kw::comBoundary(kw::identity::IID__Functions, [&] {
        ComPtr<IDispatch> Probe = ComPtr<IDispatch>::share(faulty.get());
        Procedure(kSample, u"Outer", Site::none()).locals({KW_VAR(Probe)}).run([&] {
            Procedure(kSample, u"Inner", Site::none()).locals({KW_VAR(Probe)}).run([] { writeThrough(gNowhere); });
        });
    });
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800A2715u));
    EXPECT_EQ(faulty->invoked.size(), 2u) << "each block once";
    EXPECT_TRUE(env().reports.empty());
}

// Not taken: the signal goes on to whoever handled it before (the default
// action, or a sanitizer's report), and the process does not go on.
bool processStopped(int status) { return WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0); }

TEST_F(Faults, ASignalSentByAnotherProcessIsNoFaultOfTheComponent) {
    EXPECT_EXIT(Faulting([] { kill(getpid(), SIGSEGV); }), processStopped, "");
}

TEST_F(Faults, AFaultOfTheHostWhileTheFallbackBoxIsOpenIsNotTheComponents) {
    env().uninstallErrorReporter();
    platform::setMessageBoxPresenter([](const Text&, const Text&, UINT) {
        writeThrough(gNowhere);
        return IDOK;
    });
    EXPECT_EXIT(Faulting([] { kw::raise(kw::err::Overflow); }), processStopped, "");
    platform::setMessageBoxPresenter({});
}

}  // namespace
}  // namespace kwtest
