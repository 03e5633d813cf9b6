// Processor faults on Windows. Two handlers hand them to the component:
//  - a vectored handler takes the faults of the component's own code at first
//    chance, before anything else could swallow them;
//  - the unhandled-exception filter takes faults elsewhere (in Outlook or the
//    mail layer, called from the component) that nothing else handled.
// Either takes a fault only while the thread is inside the component. It then
// points the thread's context at a small function that calls the component's
// filter as if the faulting instruction had called it: for a fault in the
// component's own code the filter throws, and the exception unwinds from the
// faulting function (compiled with -fnon-call-exceptions, so its faulting
// instructions are in its unwind tables); for a fault in other code, or a
// stack overflow, it resumes the innermost catch point instead, because no
// unwind information can be trusted there. A fault the component does not
// take goes on to the next handler or the filter installed before.
#include "platform/com.h"
#include "platform/faults.h"

#include <malloc.h>

namespace platform {

namespace {

PVOID gHandler = nullptr;
FaultFilter gFilter = nullptr;
FaultOwner gOwner = nullptr;
bool gFilterInstalled = false;
LPTOP_LEVEL_EXCEPTION_FILTER gPrevious = nullptr;
LONG gInstallCalls = 0;
SRWLOCK gLock = SRWLOCK_INIT;

constexpr int kMaxRecords = 16;
thread_local FaultRecord tRecords[kMaxRecords];

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

bool insideThisModule(const void* address) {
    HMODULE self = nullptr, at = nullptr;
    constexpr DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    return GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&insideThisModule), &self) &&
           GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(address), &at) && self == at;
}

// Runs in place of the faulting instruction; the filter never returns here,
// since the thread was inside the component.
[[noreturn]] __attribute__((noinline)) void callFilter() {
    gFilter(tRecords[0]);
    std::abort();
}

LONG takeFault(EXCEPTION_POINTERS* info, bool mayUnwind) {
    const EXCEPTION_RECORD* first = info->ExceptionRecord;
    int count = 0;
    for (const EXCEPTION_RECORD* r = first; r != nullptr && count < kMaxRecords; r = r->ExceptionRecord, ++count) {
        tRecords[count] = FaultRecord{r->ExceptionCode, nullptr, false};
        if (count > 0) tRecords[count - 1].nested = &tRecords[count];
    }
    tRecords[0].onSignalStack = !mayUnwind || first->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
    CONTEXT* context = info->ContextRecord;
#if defined(_M_X64) || defined(__x86_64__)
    context->Rsp -= sizeof(DWORD64);
    *reinterpret_cast<DWORD64*>(context->Rsp) = context->Rip + 1;
    context->Rip = reinterpret_cast<DWORD64>(&callFilter);
#else
    context->Esp -= sizeof(DWORD);
    *reinterpret_cast<DWORD*>(context->Esp) = context->Eip + 1;
    context->Eip = reinterpret_cast<DWORD>(&callFilter);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

bool ours(const EXCEPTION_RECORD* record) {
    return record != nullptr && isProcessorFault(record->ExceptionCode) && gFilter != nullptr && gOwner != nullptr &&
           gOwner();
}

LONG CALLBACK firstChance(EXCEPTION_POINTERS* info) {
    if (!ours(info->ExceptionRecord) || !insideThisModule(info->ExceptionRecord->ExceptionAddress))
        return EXCEPTION_CONTINUE_SEARCH;
    return takeFault(info, true);
}

LONG WINAPI unhandled(EXCEPTION_POINTERS* info) {
    if (ours(info->ExceptionRecord)) return takeFault(info, false);
    return gPrevious != nullptr ? gPrevious(info) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void installFaultFilter(FaultFilter filter, FaultOwner owner) {
    InterlockedIncrement(&gInstallCalls);
    AcquireSRWLockExclusive(&gLock);
    gFilter = filter;
    gOwner = owner;
    if (gHandler == nullptr) gHandler = AddVectoredExceptionHandler(1, &firstChance);
    if (!gFilterInstalled) {
        gPrevious = SetUnhandledExceptionFilter(&unhandled);
        gFilterInstalled = true;
    }
    ReleaseSRWLockExclusive(&gLock);
    detail::uninstallAtUnload();
}

void uninstallFaultFilter() {
    AcquireSRWLockExclusive(&gLock);
    if (gHandler != nullptr) RemoveVectoredExceptionHandler(gHandler);
    gHandler = nullptr;
    if (gFilterInstalled) {
        // Put back what was there before, unless someone replaced ours since.
        LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(gPrevious);
        if (current != &unhandled) SetUnhandledExceptionFilter(current);
        gFilterInstalled = false;
    }
    gFilter = nullptr;
    gOwner = nullptr;
    ReleaseSRWLockExclusive(&gLock);
}

int faultFilterInstallCalls() { return static_cast<int>(gInstallCalls); }

void recoverAt(RecoveryPoint& point) { std::longjmp(point.buffer, 1); }

void recovered() noexcept { _resetstkoflw(); }

}  // namespace platform
