// modStartup: the component's start-up on each thread that uses it, and the
// translation of processor faults into run-time errors.
#pragma once

#include <cstdint>

#include "core/runtimeerror.h"
#include "platform/faults.h"

namespace kw::modStartup {

// Runs Main once on the calling thread, before its first Functions object.
void startThread();

void Main(Site at = Site::here());
// Installs vbcsExceptionFilter once per thread.
void InstallExceptionFilter();
// The readable name of an exception code.
Text GetExceptionName(std::uint32_t Code);
// The run-time error a fault becomes: number (code AND &H8EF) OR 10000,
// source "vbcsExceptionFilter", the name of the innermost record's code.
RuntimeError faultError(const platform::FaultRecord& ExceptionInformation);
// The filter given to the platform: raises the fault's run-time error where
// the fault happened, into the innermost running procedure or step whose
// failures are ignored.
[[noreturn]] void vbcsExceptionFilter(const platform::FaultRecord& ExceptionInformation);
// For a fault that cannot be raised where it happened (a stack overflow):
// the recovery point of the innermost catch point, which takes the fault's
// error there.
platform::RecoveryPoint* resumeAfterFault(const platform::FaultRecord& ExceptionInformation) noexcept;

}  // namespace kw::modStartup
