// The other module of the fault checks. Its __try blocks are what a C
// compiler for Windows makes of them: a scope table that the C run time's
// __C_specific_handler reads, a termination handler for __finally (jump
// target 0) and a filter with a jump target for __except.
#include <windows.h>

#include "faultmodule.h"

namespace {

int gFinallyRuns = 0;
DWORD gHandledCode = 0;
volatile bool gForever = true;
int gDestructorRuns = 0;
int* volatile gNowhere = nullptr;

struct Counted {
    ~Counted() { ++gDestructorRuns; }
};

void writeThrough(int* target) { *target = 1; }
// Called through a pointer, as a function of another file would be: a
// caller cannot know that it does not throw, and keeps its clean-up.
void (*volatile gWriteThrough)(int*) = &writeThrough;

}  // namespace

extern "C" {

void otherFaultWithDestructor() {
    Counted counted;
    gWriteThrough(gNowhere);
}

void otherWriteNull() { gWriteThrough(gNowhere); }

// The __finally of otherFaultGuarded, called by __C_specific_handler while
// the frame is unwound.
void otherFinally(BOOLEAN, void*) { ++gFinallyRuns; }

// The filter of otherFaultHandled's __except.
LONG otherTakeAll(EXCEPTION_POINTERS* exception, void*) {
    gHandledCode = exception->ExceptionRecord->ExceptionCode;
    return EXCEPTION_EXECUTE_HANDLER;
}

unsigned long otherHandledCode() { return gHandledCode; }

int otherRecurse(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return (gForever ? otherRecurse(depth + 1) : 0) + frame[0];
}

int otherFinallyRuns() { return gFinallyRuns; }
int otherDestructorRuns() { return gDestructorRuns; }

}  // extern "C"

asm(R"(
    .text
    .globl otherFaultGuarded
    .def otherFaultGuarded; .scl 2; .type 32; .endef
    .seh_proc otherFaultGuarded
otherFaultGuarded:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler __C_specific_handler, @unwind
.LguardedBegin:
    call otherFaultWithDestructor
    nop
.LguardedEnd:
    addq $40, %rsp
    ret
    .seh_handlerdata
    .long 1
    .rva .LguardedBegin, .LguardedEnd, otherFinally
    .long 0
    .text
    .seh_endproc

    .globl otherFaultHandled
    .def otherFaultHandled; .scl 2; .type 32; .endef
    .seh_proc otherFaultHandled
otherFaultHandled:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler __C_specific_handler, @except
.LhandledBegin:
    call *%rcx
    nop
.LhandledEnd:
    xorl %eax, %eax
    addq $40, %rsp
    ret
.LhandledExcept:
    movl $1, %eax
    addq $40, %rsp
    ret
    .seh_handlerdata
    .long 1
    .rva .LhandledBegin, .LhandledEnd, otherTakeAll, .LhandledExcept
    .text
    .seh_endproc

    .section .drectve
    .ascii " -export:otherFaultGuarded -export:otherFaultHandled"
    .text
)");
