// Synchronous signals as processor faults. The handler runs on an alternate
// stack (so that a stack overflow can be handled), maps the signal to the
// Windows exception code and, while the thread is inside the component,
// throws the fault's error out of the handler (g++ with -fnon-call-exceptions
// unwinds from the faulting instruction) or, on a stack overflow, resumes at
// a recovery point. Anything else (a fault outside the component, a signal
// another process or thread sent with kill) goes to the handler installed
// before, or to the default action.
#include <pthread.h>
#include <signal.h>
#include <ucontext.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/faults.h"

namespace platform {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};

std::mutex gLock;
// Set once under the lock and read by the handler; the handler reads the
// three functions together through one pointer.
std::atomic<const FaultHandlers*> gHandlers{nullptr};
FaultHandlers gHandlerStore[2];
int gStoreIndex = 0;
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

#if defined(__x86_64__)
// A division fault (#DE) is a division by zero or a quotient that does not
// fit (INT_MIN / -1). The signal does not say which, so the dividing
// instruction is decoded (DIV or IDIV, opcode F6 or F7 with ModRM reg 6 or
// 7) and its divisor read from the registers or memory it names. Windows
// tells the two apart the same way.
std::optional<bool> divisorIsZero(const ucontext_t& context) {
    const greg_t* r = context.uc_mcontext.gregs;
    const unsigned char* ip = reinterpret_cast<const unsigned char*>(r[REG_RIP]);
    static constexpr int kRegisterOrder[16] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP, REG_RSI, REG_RDI,
                                               REG_R8,  REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15};
    int width = 4;
    unsigned rex = 0;
    std::size_t i = 0;
    for (; i < 4; ++i) {
        if (ip[i] == 0x66) width = 2;
        else if (ip[i] == 0xF2 || ip[i] == 0xF3 || ip[i] == 0x2E || ip[i] == 0x3E || ip[i] == 0x26 || ip[i] == 0x36) continue;
        else break;
    }
    if ((ip[i] & 0xF0) == 0x40) rex = ip[i++];
    if (rex & 0x8) width = 8;
    if (ip[i] == 0xF6) width = 1;
    else if (ip[i] != 0xF7) return std::nullopt;
    const unsigned char modrm = ip[++i];
    const unsigned mod = modrm >> 6, reg = (modrm >> 3) & 7, rm = modrm & 7;
    if (reg != 6 && reg != 7) return std::nullopt;
    std::uint64_t divisor = 0;
    if (mod == 3) {
        const unsigned index = rm | ((rex & 1u) << 3);
        if (width == 1 && rex == 0 && index >= 4) divisor = static_cast<std::uint64_t>(r[kRegisterOrder[index - 4]]) >> 8;  // AH..BH
        else divisor = static_cast<std::uint64_t>(r[kRegisterOrder[index]]);
    } else {
        const unsigned char* next = ip + i + 1;
        auto disp32 = [&next] {
            std::int32_t d;
            std::memcpy(&d, next, 4);
            next += 4;
            return static_cast<std::int64_t>(d);
        };
        std::uint64_t address = 0;
        if (rm == 4) {  // a SIB byte follows
            const unsigned char sib = *next++;
            const unsigned index = ((sib >> 3) & 7) | ((rex & 2u) << 2);
            if (index != 4) address += static_cast<std::uint64_t>(r[kRegisterOrder[index]]) << (sib >> 6);
            if ((sib & 7) == 5 && mod == 0) address += disp32();  // no base register
            else address += static_cast<std::uint64_t>(r[kRegisterOrder[(sib & 7) | ((rex & 1u) << 3)]]);
        } else if (rm == 5 && mod == 0) {
            const std::int64_t d = disp32();  // relative to the end of the instruction
            address = reinterpret_cast<std::uint64_t>(next) + static_cast<std::uint64_t>(d);
        } else {
            address = static_cast<std::uint64_t>(r[kRegisterOrder[rm | ((rex & 1u) << 3)]]);
        }
        if (mod == 1) address += static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int8_t>(*next)));
        else if (mod == 2) address += static_cast<std::uint64_t>(disp32());
        std::memcpy(&divisor, reinterpret_cast<const void*>(address), static_cast<std::size_t>(width));
    }
    if (width < 8) divisor &= (std::uint64_t{1} << (width * 8)) - 1;
    return divisor == 0;
}
#endif

std::uint32_t divisionCode(const void* context) {
#if defined(__x86_64__)
    if (context != nullptr) {
        const std::optional<bool> zero = divisorIsZero(*static_cast<const ucontext_t*>(context));
        if (zero && !*zero) return 0xC0000095u;  // integer overflow
    }
#endif
    (void)context;
    return 0xC0000094u;
}

std::uint32_t codeFor(int signal, const siginfo_t* info, const void* context) {
    switch (signal) {
        case SIGSEGV: return isStackOverflow(info->si_addr) ? 0xC00000FDu : 0xC0000005u;
        case SIGBUS: return info->si_code == BUS_ADRALN ? 0x80000002u : 0xC0000006u;
        case SIGILL:
            return (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG) ? 0xC0000096u : 0xC000001Du;
        case SIGTRAP: return info->si_code == TRAP_TRACE ? 0x80000004u : 0x80000003u;
        case SIGFPE:
            switch (info->si_code) {
                case FPE_INTDIV: return divisionCode(context);
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
    // The default action: a fault happens again once the handler returns,
    // now without it; a signal that was sent is sent again.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    if (info == nullptr || info->si_code <= 0) raise(signal);
}

void onFault(int signal, siginfo_t* info, void* context) {
    // A signal another process or thread sent (kill, sigqueue, tgkill) is no
    // fault of this thread's code.
    const bool sent = info == nullptr || info->si_code <= 0;
    const FaultHandlers* handlers = gHandlers.load();
    if (!sent && handlers != nullptr && handlers->owner != nullptr && handlers->owner()) {
        FaultRecord record;
        record.code = codeFor(signal, info, context);
        // The handler is left by an exception or a jump: the signal must not
        // stay blocked.
        sigset_t unblock;
        sigemptyset(&unblock);
        sigaddset(&unblock, signal);
        pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
        if (record.code == 0xC00000FDu) {
            // A stack overflow lands in a function's prologue, which no
            // exception table covers, on a stack with no room to unwind:
            // resume the innermost catch point instead.
            if (RecoveryPoint* point = handlers->resume(record)) siglongjmp(point->buffer, 1);
        } else {
            handlers->raise(record);
        }
    }
    passOn(signal, info, context);
}

}  // namespace

void installFaultHandlers(const FaultHandlers& handlers) {
    ++gInstallCalls;
    {
        std::lock_guard guard(gLock);
        // The handler may be reading the current set: write the other one.
        gStoreIndex ^= 1;
        gHandlerStore[gStoreIndex] = handlers;
        gHandlers.store(&gHandlerStore[gStoreIndex]);
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

void uninstallFaultHandlers() {
    std::lock_guard guard(gLock);
    if (!gInstalled) return;
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
    gInstalled = false;
    gHandlers.store(nullptr);
}

int faultHandlerInstallCalls() { return gInstallCalls.load(); }

void recovered() noexcept {}

}  // namespace platform
