// Checks of the exceptions the component takes on Windows, run under Wine:
// processor faults in its own code and in another module, faults inside
// error blocks and inside releases, software exceptions of any code, and a
// stack overflow. Each must become the run-time error that the innermost
// procedure reports (here in a message box: there is no report component),
// and after each no test object may be alive and no exception registered.
// Prints a line per check and fails when any check does.
#include <malloc.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "errorcapture/frame.h"
#include "errorcapture/modStartup.h"
#include "faultmodule.h"
#include "platform/messagebox.h"

extern "C" NTSYSAPI VOID NTAPI RtlRaiseException(PEXCEPTION_RECORD record);

namespace {

using kw::Procedure;
using kw::RuntimeError;
using kw::Site;
using platform::ComPtr;
using platform::Text;

// The module of the checks' own procedures.
constexpr kw::Module kChecks{u"Checks"};

int failures = 0;

// The reports of the error blocks, each as "Procedure: Description (Number)".
std::vector<std::string> reports;

std::string lineAfter(const std::string& text, const std::string& label) {
    const std::size_t start = text.find(label);
    if (start == std::string::npos) return {};
    const std::size_t from = start + label.size();
    return text.substr(from, text.find('\r', from) - from);
}

int showBox(const Text& text, const Text&, UINT) {
    const std::string box = platform::toUtf8(text);
    reports.push_back(lineAfter(box, "Procedure: ") + ": " + box.substr(box.rfind('\n') + 1));
    return IDOK;
}

std::string describe(std::int32_t number) {
    return platform::toUtf8(kw::describeError(number)) + " (" + std::to_string(number) + ")";
}

void expect(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (ok) return;
    ++failures;
    for (const std::string& report : reports) std::printf("     reported %s\n", report.c_str());
}

// A COM object of the checks, counted while it lives, that faults where it
// is told to: in the release that destroys it, or when asked for its type.
class Probe final : public IDispatch {
public:
    enum class Fault { None, InFinalRelease, InTypeInfo };
    static inline int live = 0;

    explicit Probe(Fault fault = Fault::None, int* typeRequests = nullptr) : fault_(fault), typeRequests_(typeRequests) {
        ++live;
    }
    static ComPtr<IDispatch> make(Fault fault = Fault::None, int* typeRequests = nullptr) {
        return ComPtr<IDispatch>::attach(new Probe(fault, typeRequests));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ~Probe() { --live; }

    Fault fault_;
    int* typeRequests_;
    ULONG references_ = 1;
};

// Faults on purpose, out of line.
int* volatile gNowhere = nullptr;
volatile int gZero = 0;
volatile bool gForever = true;
volatile int gSink = 0;
__attribute__((noinline)) void writeThrough(int* target) { *target = 1; }
__attribute__((noinline)) void writeNull() { writeThrough(gNowhere); }
__attribute__((noinline)) int divide(int a, int b) { return a / b; }
__attribute__((noinline)) void breakHere() { asm volatile("int3"); }
__attribute__((noinline)) int recurse(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return (gForever ? recurse(depth + 1) : 0) + frame[0];
}

ULONG Probe::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        const bool faults = fault_ == Fault::InFinalRelease;
        delete this;
        if (faults) writeThrough(gNowhere);
    }
    return left;
}

HRESULT Probe::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    *info = nullptr;
    if (typeRequests_ != nullptr) ++*typeRequests_;
    if (fault_ == Fault::InTypeInfo) writeThrough(gNowhere);
    return E_NOTIMPL;
}

// Runs a call the way the add-in's would reach the component, and returns the
// number of the run-time error that left it (0 when none did).
std::int32_t failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

// After every check: every test object released, no exception registered.
void expectSettled(const std::string& what) {
    expect(Probe::live == 0 && std::current_exception() == nullptr, what + ": nothing left over");
}

// One procedure of the checks that runs `body` and reports what leaves it.
void Faulting(const std::function<void()>& body, Site at = Site::here()) {
    Procedure(kChecks, u"Faulting", at).run(body);
}

void faultsInOwnCode() {
    // Each body holds a probe, which the fault's unwinding must release.
    struct Case {
        const char* what;
        void (*body)();
        std::string reported;
    };
    const Case cases[] = {
        {"a null-pointer write",
         [] {
             ComPtr<IDispatch> held = Probe::make();
             writeThrough(gNowhere);
         },
         "Faulting: Access Violation (10005)"},
        {"a second one",
         [] {
             ComPtr<IDispatch> held = Probe::make();
             writeThrough(gNowhere);
         },
         "Faulting: Access Violation (10005)"},
        {"a null-pointer write in the frame that holds the object",
         [] {
             ComPtr<IDispatch> held = Probe::make();
             *gNowhere = 1;
         },
         "Faulting: Access Violation (10005)"},
        {"an integer division by zero",
         [] {
             ComPtr<IDispatch> held = Probe::make();
             gSink = divide(1, gZero);
         },
         "Faulting: Integer Divide By Zero (10132)"},
        {"a breakpoint",
         [] {
             ComPtr<IDispatch> held = Probe::make();
             breakHere();
         },
         "Faulting: Breakpoint (10003)"},
    };
    for (const Case& c : cases) {
        reports.clear();
        const std::int32_t failure = failureOf([&] { Faulting(c.body); });
        expect(failure == 65535 && reports == std::vector<std::string>{c.reported},
               std::string(c.what) + " is reported as " + c.reported);
        expectSettled(c.what);
    }

    reports.clear();
    bool after = false;
    Procedure(kChecks, u"Tolerant", Site::none()).run([&] {
        kw::ignoringFailure([] { writeThrough(gNowhere); });
        after = true;
    });
    expect(after && reports.empty(), "a fault in a step whose failures are ignored is skipped");
    expectSettled("a skipped fault");
}

// Three nested procedures, Outer calling Middle calling Inner, which raises
// error 5. Each holds a probe as a local, which its error block dumps; the
// probe of the procedure at `faulting` faults when the dump asks for its
// type. `asked` counts the requests per procedure (Inner at 1).
void Nested(int depth, int faulting, int* asked, Site at = Site::here()) {
    static constexpr const char16_t* names[] = {nullptr, u"Inner", u"Middle", u"Outer"};
    ComPtr<IDispatch> Held =
        Probe::make(depth == faulting ? Probe::Fault::InTypeInfo : Probe::Fault::None, &asked[depth]);
    Procedure(kChecks, names[depth], at).locals({KW_VAR(Held)}).run([&] {
        if (depth == 1) kw::raise(kw::err::InvalidCall);
        Nested(depth - 1, faulting, asked);
    });
}

void faultsInErrorBlocks() {
    const std::string invalid = describe(kw::err::InvalidCall), raised = describe(65535);
    const std::string violation = "Access Violation (10005)";
    struct Case {
        int faulting;
        std::vector<std::string> reported;
        HRESULT result;
    };
    // A block that faults reports nothing; its caller receives the fault's
    // error instead of 65535, and the COM boundary the last error.
    const Case cases[] = {
        {1, {"Middle: " + violation, "Outer: " + raised}, static_cast<HRESULT>(0x800AFFFFu)},
        {2, {"Inner: " + invalid, "Outer: " + violation}, static_cast<HRESULT>(0x800AFFFFu)},
        {3, {"Inner: " + invalid, "Middle: " + raised}, static_cast<HRESULT>(0x800A2715u)},
    };
    for (const Case& c : cases) {
        reports.clear();
        int asked[4] = {};
        const HRESULT hr = kw::comBoundary(IID_IUnknown, [&] { Nested(3, c.faulting, asked); });
        const std::string what = "a fault in the error block at depth " + std::to_string(c.faulting);
        expect(reports == c.reported, what + " reaches the caller as that fault's error");
        expect(hr == c.result, what + " ends at the COM boundary as its HRESULT");
        expect(asked[1] == 1 && asked[2] == 1 && asked[3] == 1, what + " runs each block once");
        expectSettled(what);
    }
}

void faultsInReleases() {
    reports.clear();
    bool reached = false;
    std::int32_t failure = failureOf([&] {
        Faulting([&] {
            ComPtr<IDispatch> held = Probe::make(Probe::Fault::InFinalRelease);
            held.reset();
            reached = true;
        });
    });
    expect(failure == 65535 && !reached && reports == std::vector<std::string>{"Faulting: Access Violation (10005)"},
           "a fault in the release of a reset pointer ends the procedure");
    expectSettled("a fault in a reset");

    reports.clear();
    reached = false;
    failure = failureOf([&] {
        Faulting([&] {
            { ComPtr<IDispatch> held = Probe::make(Probe::Fault::InFinalRelease); }
            reached = true;
        });
    });
    expect(failure == 65535 && reached && reports == std::vector<std::string>{"Faulting: Access Violation (10005)"},
           "a fault in the release of a destroyed pointer is reported at the end of the body");
    expectSettled("a fault in a destructor's release");
}

void faultsInAnotherModule() {
    reports.clear();
    bool reached = false;
    const std::int32_t failure = failureOf([&] {
        Faulting([&] {
            ComPtr<IDispatch> held = Probe::make();
            otherFaultGuarded();
            reached = true;
        });
    });
    expect(failure == 65535 && !reached && reports == std::vector<std::string>{"Faulting: Access Violation (10005)"},
           "a fault in another module is reported by the calling procedure");
    expect(otherFinallyRuns() == 1 && otherDestructorRuns() == 1, "the other module's __finally and destructor ran");
    expectSettled("a fault in another module");

    reports.clear();
    int handled = 0;
    Faulting([&] { handled = otherFaultHandled(&otherWriteNull); });
    expect(handled == 1 && otherHandledCode() == EXCEPTION_ACCESS_VIOLATION && reports.empty(),
           "a fault that the other module's __except takes is left to it");
    expectSettled("a fault handled elsewhere");

    // A fault of the component's own code is taken at first chance, before
    // a foreign __except below: that sees the component's exception thrown.
    Faulting([&] { handled = otherFaultHandled(&writeNull); });
    expect(handled == 1 && otherHandledCode() == 0x20474343u && reports.empty(),
           "a fault in the component's own code is taken before a foreign handler");
    expectSettled("a fault taken first");

    // Outside any procedure the thread is not inside the component: even a
    // fault in the component's own code is left to whoever handles it.
    handled = otherFaultHandled(&writeNull);
    expect(handled == 1 && otherHandledCode() == EXCEPTION_ACCESS_VIOLATION && reports.empty(),
           "a fault outside the component is left to the handler below");
    expectSettled("a fault outside the component");
}

void softwareExceptions() {
    struct Case {
        DWORD code;
        DWORD flags;
        std::string reported;
    };
    const Case cases[] = {
        {0xE0000001u, 0, "Raising: Unknown (&HE0000001) (10001)"},
        {0xE06D7363u, EXCEPTION_NONCONTINUABLE, "Raising: Unknown (&HE06D7363) (10099)"},
        {0xC0000008u, 0, "Raising: Invalid Handle (10008)"},
        {0xC0000025u, EXCEPTION_NONCONTINUABLE, "Raising: Non Continuable Exception (10037)"},
        {0xC0000026u, 0, "Raising: Invalid Disposition (10038)"},
    };
    for (const Case& c : cases) {
        reports.clear();
        const std::int32_t failure = failureOf([&] {
            Procedure(kChecks, u"Raising", Site::none()).run([&] { RaiseException(c.code, c.flags, 0, nullptr); });
        });
        expect(failure == 65535 && reports == std::vector<std::string>{c.reported},
               "RaiseException is reported as " + c.reported);
        expectSettled("a software exception");
    }

    reports.clear();
    EXCEPTION_RECORD inner{};
    inner.ExceptionCode = 0xC0000094u;
    EXCEPTION_RECORD outer{};
    outer.ExceptionCode = 0xE0000002u;
    outer.ExceptionRecord = &inner;
    failureOf([&] { Procedure(kChecks, u"Raising", Site::none()).run([&] { RtlRaiseException(&outer); }); });
    expect(reports == std::vector<std::string>{"Raising: Integer Divide By Zero (10132)"},
           "an exception with a nested record is named after the innermost one");
    expectSettled("a nested record");

    reports.clear();
    Faulting([] { OutputDebugStringA("fault checks\n"); });
    expect(reports.empty(), "the debugger's own exception of OutputDebugString is left alone");
    expectSettled("OutputDebugString");
}

// What a thread that ran its work to the end exits with.
constexpr DWORD kCompleted = 0x600D;

DWORD WINAPI runWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return kCompleted;
}

// Runs work on a new thread and waits for it; false when the thread did not
// complete it. A thread of its own has none but the system's thread start
// below the component, as a host's thread has: under main() lies mingw's
// start-up code, whose __except filter continues some exceptions itself (an
// invalid handle, a breakpoint).
bool onThread(std::size_t stackSize, const std::function<void()>& work) {
    HANDLE thread = CreateThread(nullptr, stackSize, &runWork, const_cast<std::function<void()>*>(&work),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    return exitCode == kCompleted;
}

void stackOverflow() {
    reports.clear();
    bool skipped = false;
    std::int32_t failure = 0;
    const bool completed = onThread(256 * 1024, [&] {
        kw::modStartup::InstallExceptionFilter();
        // Windows grows a stack under a guard page that moves down, and
        // raises the overflow where the guaranteed room is still left. Wine
        // commits the whole stack with the guard page at its very end, where
        // the exception's own frame may not fit (Wine then ends the thread).
        // _resetstkoflw, which the component calls after an overflow, sets
        // the guard page where the stack is in use, as Windows has it.
        _resetstkoflw();
        Procedure(kChecks, u"Tolerant", Site::none()).run([&] {
            kw::ignoringFailure([] { gSink = recurse(0); });
            skipped = true;
        });
        // The same thread overflows again, in its own code and in another
        // module, and is still fine afterwards.
        failure = failureOf([] { Faulting([] { gSink = recurse(0); }); });
        failureOf([] { Faulting([] { gSink = otherRecurse(0); }); });
        failureOf([] { Faulting([] { writeThrough(gNowhere); }); });
    });
    expect(completed, "the thread that overflowed its stack completes");
    expect(skipped, "a stack overflow in a step whose failures are ignored is skipped");
    expect(failure == 65535 && reports == std::vector<std::string>{"Faulting: Stack Overflow (10237)",
                                                                   "Faulting: Stack Overflow (10237)",
                                                                   "Faulting: Access Violation (10005)"},
           "later stack overflows are reported, and the thread goes on");
    expectSettled("a stack overflow");
}

}  // namespace

int main() {
    platform::setMessageBoxPresenter(&showBox);
    const bool completed = onThread(0, [] {
        CoInitialize(nullptr);
        kw::modStartup::InstallExceptionFilter();
        faultsInOwnCode();
        faultsInErrorBlocks();
        faultsInReleases();
        faultsInAnotherModule();
        softwareExceptions();
        stackOverflow();
        CoUninitialize();
    });
    expect(completed, "the checks ran to the end");
    std::printf("%s\n", failures == 0 ? "All fault checks passed." : "Some fault checks failed.");
    return failures == 0 ? 0 : 1;
}
