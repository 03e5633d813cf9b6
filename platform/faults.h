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
    // The fault cannot be thrown through (a stack overflow; on Windows every
    // fault): the filter must name a recovery point instead of throwing.
    bool mustResume = false;
};

struct RecoveryPoint;

// Called only when the owner says the faulting thread is inside the
// component. The filter either throws a C++ exception, which unwinds from the
// faulting instruction (never for a fault marked mustResume), or returns the
// recovery point at which the thread resumes; null declines the fault. A
// fault not taken goes on to whoever handled it before.
using FaultFilter = RecoveryPoint* (*)(const FaultRecord& fault);
using FaultOwner = bool (*)() noexcept;

// Installs the filter for the process (once; a later call changes nothing
// process-wide) and prepares the calling thread (its alternate signal stack).
void installFaultFilter(FaultFilter filter, FaultOwner owner);
// Restores what was installed before; the component does this on unloading.
void uninstallFaultFilter();
// How many times installFaultFilter was called, for tests.
int faultFilterInstallCalls();

// A point to resume at after a fault that cannot be thrown through; the
// thread resumes there as if KW_SET_RECOVERY had returned 1, without running
// the destructors of the frames in between.
struct RecoveryPoint {
#ifdef _WIN32
    std::jmp_buf buffer;
#else
    sigjmp_buf buffer;
#endif
};
// Called once resumed at a recovery point: makes the stack ready to fault
// again (Windows re-arms its guard page after a stack overflow).
void recovered() noexcept;

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
