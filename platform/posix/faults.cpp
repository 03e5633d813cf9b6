// Synchronous signals as processor faults. The handler runs on an alternate
// stack (so that a stack overflow can be handled), maps the signal to the
// Windows exception code and calls the component's filter, which throws a
// C++ exception out of the handler (g++ with -fnon-call-exceptions unwinds
// from the faulting instruction) or, on a stack overflow, resumes at a
// recovery point. A fault the filter declines goes to the handler installed
// before, or to the default action.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/faults.h"

namespace platform {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

std::mutex gLock;
std::atomic<FaultFilter> gFilter{nullptr};
std::atomic<FaultOwner> gOwner{nullptr};
std::atomic<int> gInstallCalls{0};
bool gInstalled = false;
struct sigaction gPrevious[sizeof kSignals / sizeof kSignals[0]];

// The calling thread's stack, for telling a stack overflow from other faults.
thread_local char* tStackLow = nullptr;
thread_local std::vector<char>* tAltStack = nullptr;

struct AltStackRelease {
    ~AltStackRelease() {
        if (tAltStack == nullptr) return;
        stack_t none{};
        none.ss_flags = SS_DISABLE;
        sigaltstack(&none, nullptr);
        delete tAltStack;
        tAltStack = nullptr;
    }
};
thread_local AltStackRelease tAltStackRelease;

void prepareThread() {
    (void)&tAltStackRelease;
    if (tAltStack == nullptr) {
        tAltStack = new std::vector<char>(256 * 1024);
        stack_t stack{};
        stack.ss_sp = tAltStack->data();
        stack.ss_size = tAltStack->size();
        sigaltstack(&stack, nullptr);
    }
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* low = nullptr;
        std::size_t size = 0;
        if (pthread_attr_getstack(&attr, &low, &size) == 0) tStackLow = static_cast<char*>(low);
        pthread_attr_destroy(&attr);
    }
}

bool isStackOverflow(const void* address) {
    if (tStackLow == nullptr || address == nullptr) return false;
    const char* a = static_cast<const char*>(address);
    return a >= tStackLow - 1024 * 1024 && a < tStackLow + 64 * 1024;
}

std::uint32_t codeFor(int signal, const siginfo_t* info) {
    switch (signal) {
        case SIGSEGV: return isStackOverflow(info->si_addr) ? 0xC00000FDu : 0xC0000005u;
        case SIGBUS: return info->si_code == BUS_ADRALN ? 0x80000002u : 0xC0000006u;
        case SIGILL:
            return (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG) ? 0xC0000096u : 0xC000001Du;
        case SIGFPE:
            switch (info->si_code) {
                case FPE_INTDIV: return 0xC0000094u;
                case FPE_INTOVF: return 0xC0000095u;
                case FPE_FLTDIV: return 0xC000008Eu;
                case FPE_FLTOVF: return 0xC0000091u;
                case FPE_FLTUND: return 0xC0000093u;
                case FPE_FLTRES: return 0xC000008Fu;
                case FPE_FLTINV: return 0xC0000090u;
                case FPE_FLTSUB: return 0xC000008Cu;
                default: return 0xC0000090u;
            }
        default: return 0;
    }
}

void passOn(int signal, siginfo_t* info, void* context) {
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (kSignals[i] != signal) continue;
        const struct sigaction& previous = gPrevious[i];
        if (previous.sa_flags & SA_SIGINFO) {
            if (previous.sa_sigaction != nullptr) return previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            return previous.sa_handler(signal);
        }
    }
    // The default action: return and fault again without our handler.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
}

void onFault(int signal, siginfo_t* info, void* context) {
    FaultRecord record;
    record.code = codeFor(signal, info);
    // A stack overflow runs this handler on the alternate stack, from where
    // throwing cannot be relied on.
    record.mustResume = record.code == 0xC00000FDu;
    const FaultFilter filter = gFilter.load();
    const FaultOwner owner = gOwner.load();
    if (filter != nullptr && owner != nullptr && owner()) {
        // The filter leaves by throwing; the signal must not stay blocked.
        sigset_t unblock;
        sigemptyset(&unblock);
        sigaddset(&unblock, signal);
        pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
        if (RecoveryPoint* point = filter(record)) siglongjmp(point->buffer, 1);
    }
    passOn(signal, info, context);
}

}  // namespace

void installFaultFilter(FaultFilter filter, FaultOwner owner) {
    ++gInstallCalls;
    {
        std::lock_guard guard(gLock);
        gFilter.store(filter);
        gOwner.store(owner);
        if (!gInstalled) {
            struct sigaction action {};
            action.sa_sigaction = &onFault;
            action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
            sigemptyset(&action.sa_mask);
            for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
                sigaction(kSignals[i], &action, &gPrevious[i]);
            gInstalled = true;
            detail::uninstallAtUnload();
        }
    }
    prepareThread();
}

void uninstallFaultFilter() {
    std::lock_guard guard(gLock);
    if (!gInstalled) return;
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
    gInstalled = false;
    gFilter.store(nullptr);
    gOwner.store(nullptr);
}

int faultFilterInstallCalls() { return gInstallCalls.load(); }

void recovered() noexcept {}

}  // namespace platform
