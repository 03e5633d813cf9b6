// Processor faults on Windows. Two handlers hand them to the component:
//  - a vectored handler takes the faults of the component's own code at first
//    chance, before anything else could swallow them;
//  - the unhandled-exception filter takes faults elsewhere (in Outlook or the
//    mail layer, called from the component) that nothing else handled.
// Either takes a fault only while the thread is inside the component: it asks
// the component's filter for the recovery point of the innermost catch point
// and sets the thread's context to resume there, as a return of setjmp with
// the value 1. Nothing runs on the faulting stack, which matters for a stack
// overflow; no exception is thrown from the faulting instruction, which
// matters because the optimiser may leave a call that faults without an entry
// in the caller's exception tables, and because code outside the component
// may have no usable unwind information. A fault the component does not take
// goes on to the next handler or the filter installed before.
#include "platform/com.h"
#include "platform/faults.h"

#include <malloc.h>
#include <setjmp.h>

#include <cstring>

namespace platform {

namespace {

PVOID gHandler = nullptr;
FaultHandlers gHandlers;
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

// Sets context to what the recovery point's setjmp saved, returning 1.
void resumeAt(CONTEXT* context, const RecoveryPoint& point) {
    _JUMP_BUFFER saved;
    std::memcpy(&saved, &point.buffer, sizeof saved);
#if defined(_M_X64) || defined(__x86_64__)
    context->Rbx = saved.Rbx;
    context->Rsp = saved.Rsp;
    context->Rbp = saved.Rbp;
    context->Rsi = saved.Rsi;
    context->Rdi = saved.Rdi;
    context->R12 = saved.R12;
    context->R13 = saved.R13;
    context->R14 = saved.R14;
    context->R15 = saved.R15;
    context->Rip = saved.Rip;
    context->Rax = 1;
    context->MxCsr = saved.MxCsr;
    M128A* xmm = &context->Xmm6;
    const SETJMP_FLOAT128* from = &saved.Xmm6;
    for (int i = 0; i < 10; ++i) std::memcpy(&xmm[i], &from[i], sizeof(M128A));
#else
    context->Ebp = saved.Ebp;
    context->Ebx = saved.Ebx;
    context->Edi = saved.Edi;
    context->Esi = saved.Esi;
    context->Esp = saved.Esp;
    context->Eip = saved.Eip;
    context->Eax = 1;
    // The handler frames registered below the recovery point are gone: the
    // thread's handler list (FS:[0]) starts again where it stood there.
    const unsigned long registration = saved.Registration;
    asm volatile("movl %0, %%fs:0" : : "r"(registration) : "memory");
#endif
}

LONG takeFault(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* first = info->ExceptionRecord;
    int count = 0;
    for (const EXCEPTION_RECORD* r = first; r != nullptr && count < kMaxRecords; r = r->ExceptionRecord, ++count) {
        tRecords[count] = FaultRecord{r->ExceptionCode, nullptr};
        if (count > 0) tRecords[count - 1].nested = &tRecords[count];
    }
    RecoveryPoint* point = gHandlers.resume(tRecords[0]);
    if (point == nullptr) return EXCEPTION_CONTINUE_SEARCH;
    resumeAt(info->ContextRecord, *point);
    return EXCEPTION_CONTINUE_EXECUTION;
}

bool ours(const EXCEPTION_RECORD* record) {
    return record != nullptr && isProcessorFault(record->ExceptionCode) && gHandlers.resume != nullptr &&
           gHandlers.owner != nullptr && gHandlers.owner();
}

LONG CALLBACK firstChance(EXCEPTION_POINTERS* info) {
    if (!ours(info->ExceptionRecord) || !insideThisModule(info->ExceptionRecord->ExceptionAddress))
        return EXCEPTION_CONTINUE_SEARCH;
    return takeFault(info);
}

LONG WINAPI unhandled(EXCEPTION_POINTERS* info) {
    if (ours(info->ExceptionRecord) && takeFault(info) == EXCEPTION_CONTINUE_EXECUTION) return EXCEPTION_CONTINUE_EXECUTION;
    return gPrevious != nullptr ? gPrevious(info) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void installFaultHandlers(const FaultHandlers& handlers) {
    InterlockedIncrement(&gInstallCalls);
    AcquireSRWLockExclusive(&gLock);
    gHandlers = handlers;
    if (gHandler == nullptr) gHandler = AddVectoredExceptionHandler(1, &firstChance);
    if (!gFilterInstalled) {
        gPrevious = SetUnhandledExceptionFilter(&unhandled);
        gFilterInstalled = true;
    }
    ReleaseSRWLockExclusive(&gLock);
    detail::uninstallAtUnload();
}

void uninstallFaultHandlers() {
    AcquireSRWLockExclusive(&gLock);
    if (gHandler != nullptr) RemoveVectoredExceptionHandler(gHandler);
    gHandler = nullptr;
    if (gFilterInstalled) {
        // Put back what was there before, unless someone replaced ours since.
        LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(gPrevious);
        if (current != &unhandled) SetUnhandledExceptionFilter(current);
        gFilterInstalled = false;
    }
    gHandlers = FaultHandlers();
    ReleaseSRWLockExclusive(&gLock);
}

int faultHandlerInstallCalls() { return static_cast<int>(gInstallCalls); }

void recovered() noexcept { _resetstkoflw(); }

}  // namespace platform
