// Processor faults through a vectored exception handler. The handler asks the
// component's filter inside a try block; when the filter throws, the thread's
// context is pointed at a small function that throws the same exception again
// as if the faulting instruction had called it, so that the exception unwinds
// from the faulting function through the component's frames as usual (the
// component is compiled with -fnon-call-exceptions, which puts the faulting
// instructions into its unwind tables). A fault the filter declines goes on
// to the next handler.
#include <exception>

#include "platform/com.h"
#include "platform/faults.h"

namespace platform {

namespace {

PVOID gHandler = nullptr;
FaultFilter gFilter = nullptr;
LONG gInstallCalls = 0;
SRWLOCK gLock = SRWLOCK_INIT;
thread_local std::exception_ptr tPending;

bool isProcessorFault(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_GUARD_PAGE:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_STACK_CHECK:
        case EXCEPTION_FLT_UNDERFLOW:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_STACK_OVERFLOW:
            return true;
        default:
            return false;
    }
}

[[noreturn]] __attribute__((noinline)) void rethrowPending() {
    std::exception_ptr pending = tPending;
    tPending = nullptr;
    std::rethrow_exception(pending);
}

LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* first = info->ExceptionRecord;
    if (first == nullptr || !isProcessorFault(first->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    const FaultFilter filter = gFilter;
    if (filter == nullptr) return EXCEPTION_CONTINUE_SEARCH;

    // The system's chain of records, copied into our own, innermost last.
    constexpr int kMaxRecords = 16;
    FaultRecord records[kMaxRecords];
    int count = 0;
    for (const EXCEPTION_RECORD* r = first; r != nullptr && count < kMaxRecords; r = r->ExceptionRecord, ++count) {
        records[count].code = r->ExceptionCode;
        if (count > 0) records[count - 1].nested = &records[count];
    }
    try {
        filter(records[0]);
        return EXCEPTION_CONTINUE_SEARCH;
    } catch (...) {
        tPending = std::current_exception();
    }
    CONTEXT* context = info->ContextRecord;
#if defined(_M_X64) || defined(__x86_64__)
    context->Rsp -= sizeof(DWORD64);
    *reinterpret_cast<DWORD64*>(context->Rsp) = context->Rip + 1;
    context->Rip = reinterpret_cast<DWORD64>(&rethrowPending);
#else
    context->Esp -= sizeof(DWORD);
    *reinterpret_cast<DWORD*>(context->Esp) = context->Eip + 1;
    context->Eip = reinterpret_cast<DWORD>(&rethrowPending);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void installFaultFilter(FaultFilter filter) {
    InterlockedIncrement(&gInstallCalls);
    AcquireSRWLockExclusive(&gLock);
    gFilter = filter;
    if (gHandler == nullptr) gHandler = AddVectoredExceptionHandler(1, &onException);
    ReleaseSRWLockExclusive(&gLock);
    detail::uninstallAtUnload();
}

void uninstallFaultFilter() {
    AcquireSRWLockExclusive(&gLock);
    if (gHandler != nullptr) RemoveVectoredExceptionHandler(gHandler);
    gHandler = nullptr;
    gFilter = nullptr;
    ReleaseSRWLockExclusive(&gLock);
}

int faultFilterInstallCalls() { return static_cast<int>(gInstallCalls); }

void recoverAt(RecoveryPoint& point) { std::longjmp(point.buffer, 1); }

}  // namespace platform
