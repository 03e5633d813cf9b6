// Processor and system exceptions (access violations, division by zero,
// stack overflow, breakpoints...) handed to the component on the thread that
// raised them. On Windows exception handlers deliver them; elsewhere
// synchronous signals do (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP), mapped
// to the matching Windows exception codes.
//
// A fault the component takes is thrown as a C++ exception from the faulting
// instruction, so that it unwinds like any other error: destructors and
// foreign clean-up run. Only what cannot be thrown through (a stack overflow,
// which leaves no room to unwind on the faulting stack, and on 32-bit Windows
// every exception, as the DWARF tables of that build cannot unwind foreign
// frames) resumes at a recovery point instead, skipping the frames in between.
#pragma once

#include <cstdint>
#include <csetjmp>
#include <exception>

#ifndef _WIN32
#include <setjmp.h>
#endif

namespace platform {

// An exception as the system describes it: its code and the record it was
// raised from (nested, innermost last; null when there is none).
struct FaultRecord {
    std::uint32_t code = 0;
    const FaultRecord* nested = nullptr;
};

// A point to resume at after a fault that cannot be thrown through; the
// thread resumes there as if KW_SET_RECOVERY had returned non-zero.
struct RecoveryPoint {
#ifdef _WIN32
    std::jmp_buf buffer;
#else
    sigjmp_buf buffer;
#endif
};

// What the component gives the platform.
struct FaultHandlers {
    // Whether the faulting thread is inside the component; a fault of a
    // thread that is not goes on to whoever handled it before.
    bool (*owner)() noexcept = nullptr;
    // Throws the fault's error. Called where the fault happened (on 64-bit
    // Windows from a small trampoline that the faulting function appears to
    // call).
    void (*raise)(const FaultRecord& fault) = nullptr;
    // For a fault that cannot be thrown through: the recovery point at which
    // the thread resumes with the fault's error waiting; null declines.
    RecoveryPoint* (*resume)(const FaultRecord& fault) noexcept = nullptr;
};

// Installs the handlers for the process (a later call only replaces the
// functions) and prepares the calling thread (its alternate signal stack, or
// on Windows the stack guarantee that lets a stack overflow be handled).
void installFaultHandlers(const FaultHandlers& handlers);
// Restores what was installed before; the component does this on unloading.
void uninstallFaultHandlers();
// How many times installFaultHandlers was called, for tests.
int faultHandlerInstallCalls();

// Called once resumed at a recovery point: makes the stack ready to fault
// again (Windows re-arms its guard page after a stack overflow).
void recovered() noexcept;

// Releases of references in destructors, where nothing may be thrown: a
// fault inside them is kept here and raised at the next point where the
// component takes failures (the end of a procedure's body, of a step whose
// failures are ignored, or of a public call).
void keepReleaseFault(std::exception_ptr fault) noexcept;
// The fault kept, if any; the thread's slot is empty afterwards.
std::exception_ptr takeReleaseFault() noexcept;

namespace detail {
// Called by installFaultHandlers: removes them when the component unloads.
void uninstallAtUnload();
}  // namespace detail

}  // namespace platform

// Sets a recovery point: 0 when set, non-zero when resumed there.
#ifdef _WIN32
#define KW_SET_RECOVERY(point) setjmp((point).buffer)
#else
#define KW_SET_RECOVERY(point) sigsetjmp((point).buffer, 0)
#endif
