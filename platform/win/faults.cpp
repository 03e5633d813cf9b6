// Exceptions on Windows, handed to the component on a thread inside it.
//
// Which exceptions the component takes (any code, processor fault or not):
//  - at first chance, through a vectored handler, those raised by an
//    instruction of the component's own module, before anything else could
//    swallow them;
//  - any other only once nothing handled it, through the unhandled-exception
//    filter: a fault in Outlook or the mail layer that none of their handlers
//    took, a software exception (RaiseException) of any code, another run
//    time's C++ exception. What a handler below the component takes (RPC's and
//    COM's own exceptions, a foreign __try/__except) never reaches it;
//  - never g++'s own exceptions (codes 0x2?474343, which mingw's run time
//    continues in its filter) nor the notifications meant for a debugger
//    (0x4001xxxx, among them DBG_PRINTEXCEPTION_C, and the thread name
//    0x406D1388): those are part of normal operation.
// A thread outside the component (no catch point) is left alone, and so is
// everything declined: it goes on to the next handler, or the filter
// installed before.
//
// How it is taken. Either handler only rewrites the thread's context and lets
// the system continue it, so that nothing runs inside the dispatcher:
//  - 64-bit: the thread continues in a trampoline that appears to be called
//    by the faulting function and throws the fault's error. The system
//    unwinder takes it from there: foreign __finally blocks and the
//    component's destructors run (the component is built with
//    -fnon-call-exceptions, so its exception tables cover the faulting
//    instruction).
//  - a stack overflow, and every exception on 32-bit, resumes the innermost
//    catch point's recovery point instead, skipping the component's frames in
//    between (see resumeAt).
#include "platform/com.h"
#include "platform/faults.h"

#include <malloc.h>
#include <setjmp.h>

#include <atomic>
#include <type_traits>
#include <cstdlib>
#include <cstring>

// The resume and throw below depend on g++'s exception model.
#if defined(__x86_64__)
#if !defined(__SEH__) || defined(__USING_SJLJ_EXCEPTIONS__)
#error "64-bit Windows builds need g++ with SEH exceptions: faults are thrown through the system unwinder"
#endif
#elif defined(__i386__)
#if defined(__USING_SJLJ_EXCEPTIONS__) || defined(__SEH__)
#error "32-bit Windows builds need g++ with DWARF exceptions: a resume jumps over frames that SJLJ would have registered"
#endif
#else
#error "Faults are handled on x86 and x64 only"
#endif

#if defined(__x86_64__)
// The trampoline of a fault thrown on 64-bit (below), and what it calls.
extern "C" void kwFaultEntry();
extern "C" [[noreturn]] void kwRaiseTakenFault();
#endif

namespace platform {

namespace {

// Room the system keeps for handling a stack overflow on each thread.
constexpr ULONG kStackGuarantee = 64 * 1024;
constexpr int kMaxRecords = 16;

// The exception a thread's handler took, for the trampoline it continues in.
struct ThreadState {
    FaultRecord records[kMaxRecords];
    void (*raise)(const FaultRecord&) = nullptr;
    RecoveryPoint* resumeAt = nullptr;
};
// A per-thread object with a destructor would make the C++ run time keep the
// DLL loaded for the thread and run code in it at thread exit.
static_assert(std::is_trivially_destructible_v<ThreadState>);

SRWLOCK gLock = SRWLOCK_INIT;
// Set under the lock, read by the handlers: the three functions together
// through one pointer; an install writes the copy not in use.
std::atomic<const FaultHandlers*> gHandlers{nullptr};
FaultHandlers gHandlerStore[2];
int gStoreIndex = 0;
LONG gInstallCalls = 0;
PVOID gVectored = nullptr;
bool gFilterInstalled = false;
LPTOP_LEVEL_EXCEPTION_FILTER gPrevious = nullptr;
// The TLS slot of each prepared thread's state. The handlers read it with
// TlsGetValue, which never allocates, as a first access to a thread_local may
// (a fault can come from inside the heap).
std::atomic<DWORD> gSlot{TLS_OUT_OF_INDEXES};

ThreadState* threadState() {
    const DWORD slot = gSlot.load();
    return slot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<ThreadState*>(TlsGetValue(slot));
}

void prepareThread() {
    thread_local ThreadState state;
    TlsSetValue(gSlot.load(), &state);
    // The stack overflow handler and the dispatcher's walk before it run on
    // what is left of the stack. Bound by name: Windows before Vista has no
    // such function, and a stack too small for the guarantee keeps the
    // system's own as well. Looked up on each thread rather than kept in a
    // function-local static, whose guard would create a kernel object while
    // the host creates its first object.
    using Guarantee = BOOL(WINAPI*)(PULONG);
    const auto setGuarantee = reinterpret_cast<Guarantee>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadStackGuarantee")));
    ULONG guarantee = kStackGuarantee;
    if (setGuarantee != nullptr) setGuarantee(&guarantee);
}

bool partOfNormalOperation(DWORD code) {
    if ((code & 0xF0FFFFFFu) == 0x20474343u) return true;  // g++: throw, unwind, forced unwind
    if ((code & 0xFFFF0000u) == 0x40010000u) return true;  // DBG_PRINTEXCEPTION_C and the other DBG_ codes
    return code == 0x406D1388u;                            // a thread's name, for a debugger
}

// The component's module as mapped, found at the first install.
std::atomic<const char*> gModuleBegin{nullptr};
std::atomic<const char*> gModuleEnd{nullptr};

void findThisModule() {
    HMODULE self = nullptr;
    constexpr DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&findThisModule), &self)) return;
    const auto* base = reinterpret_cast<const char*>(self);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    gModuleEnd.store(base + headers->OptionalHeader.SizeOfImage);
    gModuleBegin.store(base);
}

bool inThisModule(const void* address) {
    const auto* at = static_cast<const char*>(address);
    return at >= gModuleBegin.load() && at < gModuleEnd.load();
}

// The code the trampoline runs is ordinary code: nothing may stay pending
// from the fault. Floating-point exception flags are cleared (an unmasked
// one would be raised again at the next floating-point instruction), the x87
// register stack is emptied (the abandoned computation's values would
// otherwise stay on it), and the direction and trap flags are cleared as
// calls expect them.
void settle(CONTEXT* context) {
    constexpr DWORD kX87Flags = 0x38FFu;  // exception flags, summary, stack top
    constexpr DWORD kSseFlags = 0x3Fu;
#if defined(__x86_64__)
    context->MxCsr &= ~kSseFlags;
    context->FltSave.MxCsr &= ~kSseFlags;
    context->FltSave.StatusWord &= static_cast<WORD>(~kX87Flags);
    context->FltSave.TagWord = 0;  // abridged tags: all empty
#else
    context->FloatSave.StatusWord &= ~kX87Flags;
    context->FloatSave.TagWord = 0xFFFF;  // full tags: all empty
    // The same state as FXSAVE keeps it: status word, abridged tags, MXCSR.
    XSAVE_FORMAT extended;
    std::memcpy(&extended, context->ExtendedRegisters, sizeof extended);
    extended.StatusWord &= static_cast<WORD>(~kX87Flags);
    extended.TagWord = 0;
    extended.MxCsr &= ~kSseFlags;
    std::memcpy(context->ExtendedRegisters, &extended, sizeof extended);
#endif
    context->EFlags &= ~(0x100u | 0x400u);  // trap, direction
}

#if defined(__x86_64__)

// Entered in place of the faulting instruction with R11 holding the address
// the faulting function is to appear to call from. It pushes that address and
// falls into kwFaultTrampoline, whose unwind data (a frame pointer over a
// realigned stack) leads the unwinder back to the faulting function with the
// stack pointer it had at the fault.
asm(R"(
    .text
    .p2align 4
    .globl kwFaultEntry
kwFaultEntry:
    pushq %r11
    .seh_proc kwFaultTrampoline
kwFaultTrampoline:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call kwRaiseTakenFault
    ud2
    .seh_endproc
)");

// Whether the processor raised the exception at the instruction the record
// names, rather than software by a call (RaiseException), whose record names
// the call's return address.
bool raisedByProcessor(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_GUARD_PAGE:
        case EXCEPTION_BREAKPOINT:
        case EXCEPTION_SINGLE_STEP:
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
            return true;
        default:
            return false;
    }
}

// The address the function that raised the exception appears to call the
// trampoline from. The system unwinder looks the function up at the address
// itself, g++'s personality looks the landing pad up one byte before it. For
// an exception raised by a call that is the call's return address, as for
// any call. For a faulting instruction it is one past the instruction's
// start, so that both find the instruction, unless that byte already begins
// another function (a one-byte instruction at a function's end, such as
// int3), where the instruction's own address keeps the function right.
DWORD64 callerAddress(const EXCEPTION_RECORD& record) {
    const auto at = reinterpret_cast<DWORD64>(record.ExceptionAddress);
    if (!raisedByProcessor(record.ExceptionCode)) return at;
    DWORD64 base = 0, nextBase = 0;
    const PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(at, &base, nullptr);
    const PRUNTIME_FUNCTION next = RtlLookupFunctionEntry(at + 1, &nextBase, nullptr);
    return function == next ? at + 1 : at;
}

void raiseAt(CONTEXT* context, const EXCEPTION_RECORD& record) {
    context->R11 = callerAddress(record);
    context->Rip = reinterpret_cast<DWORD64>(&kwFaultEntry);
}

// Resumes at the recovery point by loading what setjmp saved into the
// context. msvcrt's longjmp is not used: given the frame that mingw's setjmp
// records on x64 it unwinds through SEH with STATUS_LONGJUMP first, which
// needs the exact state of every frame in between (a stack overflow stops in
// a function's prologue) and room on a stack that has none left.
void resumeAt(CONTEXT* context, const RecoveryPoint& point, ThreadState&) {
    _JUMP_BUFFER saved;
    std::memcpy(&saved, &point.buffer, sizeof saved);
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
    context->FltSave.MxCsr = saved.MxCsr;
    context->FltSave.ControlWord = saved.FpCsr;
    std::memcpy(&context->Xmm6, &saved.Xmm6, 10 * sizeof(M128A));
}

#else

// On 32-bit the component's exception tables are DWARF ones, which exist
// only for its own code: a throw could not pass the frames of Outlook or the
// mail layer, and would leave their SEH registrations (FS:[0]) on the
// thread's handler list. Every exception resumes the recovery point instead:
// the context continues in a function that calls msvcrt's longjmp, on the
// thread's own stack once the dispatcher has returned. longjmp unwinds the
// SEH registrations made since the recovery point was set (foreign
// __finally blocks and destructors run, and the system unlinks each one)
// and restores the registers; nothing writes FS:[0] from inside a handler.
[[noreturn]] void resumeTakenFault() {
    longjmp(threadState()->resumeAt->buffer, 1);
}

void resumeAt(CONTEXT* context, RecoveryPoint& point, ThreadState& state) {
    state.resumeAt = &point;
    // Below the faulting stack pointer, aligned, with the slot of a return
    // address that is never used.
    context->Esp = (context->Esp & ~DWORD{15}) - 4;
    context->Eip = reinterpret_cast<DWORD>(&resumeTakenFault);
}

#endif

// Takes the exception for the thread's innermost catch point if the thread
// is inside the component: sets the context to continue where the error is
// raised. False when it is not taken.
bool take(EXCEPTION_POINTERS* info) {
    ThreadState* state = threadState();
    const FaultHandlers* handlers = gHandlers.load();
    if (state == nullptr || handlers == nullptr || handlers->owner == nullptr || !handlers->owner()) return false;
    const EXCEPTION_RECORD* first = info->ExceptionRecord;
    int count = 0;
    for (const EXCEPTION_RECORD* r = first; r != nullptr && count < kMaxRecords; r = r->ExceptionRecord, ++count) {
        state->records[count] = FaultRecord{r->ExceptionCode, nullptr};
        if (count > 0) state->records[count - 1].nested = &state->records[count];
    }
#if defined(__x86_64__)
    if (first->ExceptionCode != EXCEPTION_STACK_OVERFLOW && handlers->raise != nullptr) {
        state->raise = handlers->raise;
        raiseAt(info->ContextRecord, *first);
        settle(info->ContextRecord);
        return true;
    }
#endif
    RecoveryPoint* point = handlers->resume != nullptr ? handlers->resume(state->records[0]) : nullptr;
    if (point == nullptr) return false;
    resumeAt(info->ContextRecord, *point, *state);
    settle(info->ContextRecord);
    return true;
}

LONG CALLBACK firstChance(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (partOfNormalOperation(record->ExceptionCode) || !inThisModule(record->ExceptionAddress))
        return EXCEPTION_CONTINUE_SEARCH;
    return take(info) ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI unhandled(EXCEPTION_POINTERS* info) {
    if (!partOfNormalOperation(info->ExceptionRecord->ExceptionCode) && take(info)) {
        // The thread does not continue where the exception was raised, so a
        // noncontinuable one may be taken too; the dispatcher would otherwise
        // refuse the continuation with STATUS_NONCONTINUABLE_EXCEPTION.
        info->ExceptionRecord->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return gPrevious != nullptr ? gPrevious(info) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

#if defined(__x86_64__)
// Called by the trampoline: throws the error of the exception just taken.
extern "C" [[gnu::used]] void kwRaiseTakenFault() {
    const ThreadState* state = threadState();
    state->raise(state->records[0]);
    std::abort();  // raise always throws
}
#endif

void installFaultHandlers(const FaultHandlers& handlers) {
    InterlockedIncrement(&gInstallCalls);
    AcquireSRWLockExclusive(&gLock);
    gStoreIndex ^= 1;
    gHandlerStore[gStoreIndex] = handlers;
    gHandlers.store(&gHandlerStore[gStoreIndex]);
    if (gSlot.load() == TLS_OUT_OF_INDEXES) gSlot.store(TlsAlloc());
    if (gModuleBegin.load() == nullptr) findThisModule();
    if (gVectored == nullptr) gVectored = AddVectoredExceptionHandler(1, &firstChance);
    if (!gFilterInstalled) {
        gPrevious = SetUnhandledExceptionFilter(&unhandled);
        gFilterInstalled = true;
    }
    ReleaseSRWLockExclusive(&gLock);
    prepareThread();
    detail::uninstallAtUnload();
}

void uninstallFaultHandlers() {
    AcquireSRWLockExclusive(&gLock);
    if (gVectored != nullptr) RemoveVectoredExceptionHandler(gVectored);
    gVectored = nullptr;
    if (gFilterInstalled) {
        // Put back what was there before, unless someone replaced ours since.
        LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(gPrevious);
        if (current != &unhandled) SetUnhandledExceptionFilter(current);
        gFilterInstalled = false;
    }
    gHandlers.store(nullptr);
    if (const DWORD slot = gSlot.exchange(TLS_OUT_OF_INDEXES); slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
    ReleaseSRWLockExclusive(&gLock);
}

int faultHandlerInstallCalls() { return static_cast<int>(gInstallCalls); }

void recovered() noexcept { _resetstkoflw(); }

}  // namespace platform
