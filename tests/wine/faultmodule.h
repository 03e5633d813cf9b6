// A module that is not the component's, for the checks of exceptions raised
// in foreign code: its functions fault under the kinds of clean-up and
// handling that foreign code has.
#pragma once

#ifdef KW_FAULTMODULE_BUILD
#define KW_FAULTMODULE_API __declspec(dllexport)
#else
#define KW_FAULTMODULE_API __declspec(dllimport)
#endif

extern "C" {
// Faults (a null-pointer write) in a C++ frame that owns an object with a
// destructor, called inside a __try whose __finally counts its runs.
KW_FAULTMODULE_API void otherFaultGuarded();
// Calls `inner` inside a __try whose __except takes every exception; returns
// 1 from the __except block, 0 when `inner` returns.
KW_FAULTMODULE_API int otherFaultHandled(void (*inner)());
// Faults (a null-pointer write).
KW_FAULTMODULE_API void otherWriteNull();
// Recurses until the stack overflows.
KW_FAULTMODULE_API int otherRecurse(int depth);
// The code of the exception that otherFaultHandled's __except took last.
KW_FAULTMODULE_API unsigned long otherHandledCode();
// How often the __finally and the destructor ran.
KW_FAULTMODULE_API int otherFinallyRuns();
KW_FAULTMODULE_API int otherDestructorRuns();
}
