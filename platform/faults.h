// Processor faults (access violations, division by zero, stack overflow...)
// handed to a filter of the component on the faulting thread. On Windows a
// vectored exception handler delivers them; elsewhere synchronous signals do
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL), mapped to the matching Windows
// exception codes.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <csetjmp>
#else
#include <csetjmp>
#include <setjmp.h>
#endif

namespace platform {

// A fault as the system describes it: its exception code and the record it
// was raised from (nested, innermost last; null when there is none).
struct FaultRecord {
    std::uint32_t code = 0;
    const FaultRecord* nested = nullptr;
    // The filter runs on a stack of its own (a stack overflow): it must leave
    // by recoverAt(), not by throwing.
    bool onSignalStack = false;
};

// The filter either leaves the handler (by throwing a C++ exception, or by
// recoverAt for a fault on the signal stack) or returns to let the fault go
// on to whoever handled it before.
using FaultFilter = void (*)(const FaultRecord& fault);

// Installs the filter for the process (once; a later call changes nothing
// process-wide) and prepares the calling thread (its alternate signal stack).
void installFaultFilter(FaultFilter filter);
// Restores what was installed before; the component does this on unloading.
void uninstallFaultFilter();
// How many times installFaultFilter was called, for tests.
int faultFilterInstallCalls();

// A point to resume at after a fault that cannot be thrown through.
struct RecoveryPoint {
#ifdef _WIN32
    std::jmp_buf buffer;
#else
    sigjmp_buf buffer;
#endif
};
[[noreturn]] void recoverAt(RecoveryPoint& point);

namespace detail {
// Called by installFaultFilter: removes the filter when the component unloads.
void uninstallAtUnload();
}  // namespace detail

}  // namespace platform

// Sets a recovery point: 0 when set, non-zero when resumed there.
#ifdef _WIN32
#define KW_SET_RECOVERY(point) setjmp((point).buffer)
#else
#define KW_SET_RECOVERY(point) sigsetjmp((point).buffer, 0)
#endif
