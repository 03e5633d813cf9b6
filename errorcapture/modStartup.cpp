#include "errorcapture/modStartup.h"

#include <cstdio>

#include "core/catchpoint.h"
#include "errorcapture/frame.h"
#include "errorcapture/state.h"

namespace kw::modStartup {

namespace {
thread_local bool tStarted = false;
}

void startThread() {
    if (tStarted) return;
    tStarted = true;
    Main();
}

void Main(Site at) {
    Procedure(modules::modStartup, u"Main", at).run([&] { InstallExceptionFilter(); });
}

void InstallExceptionFilter() {
    ErrorState& state = errorState();
    if (state.vbcsHasInitialised) return;
    platform::FaultHandlers handlers;
    handlers.owner = &CatchPoint::any;
    handlers.raise = &vbcsExceptionFilter;
    handlers.resume = &resumeAfterFault;
    platform::installFaultHandlers(handlers);
    state.vbcsHasInitialised = true;
}

Text GetExceptionName(std::uint32_t Code) {
    struct Named {
        std::uint32_t code;
        const char16_t* name;
    };
    static constexpr Named names[] = {
        {0x80000001u, u"Guard Page Violation"},
        {0x80000002u, u"Data Type Misalignment"},
        {0x80000003u, u"Breakpoint"},
        {0x80000004u, u"Single Step"},
        {0xC0000005u, u"Access Violation"},
        {0xC0000006u, u"In Page Error"},
        {0xC0000008u, u"Invalid Handle"},
        {0xC000001Du, u"Illegal Instruction"},
        {0xC0000025u, u"Non Continuable Exception"},
        {0xC0000026u, u"Invalid Disposition"},
        {0xC000008Cu, u"Array Bounds Exceeded"},
        {0xC000008Du, u"Float Denormal Operand"},
        {0xC000008Eu, u"Divide By Zero"},
        {0xC000008Fu, u"Floating Point Inexact Result"},
        {0xC0000090u, u"Invalid Operation"},
        {0xC0000091u, u"Float Overflow"},
        {0xC0000092u, u"Float Stack Check"},
        {0xC0000093u, u"Float Underflow"},
        {0xC0000094u, u"Integer Divide By Zero"},
        {0xC0000095u, u"Integer Overflow"},
        {0xC0000096u, u"Privileged Instruction"},
        {0xC00000FDu, u"Stack Overflow"},
        {0xC000013Au, u"Control-C Exit"},
    };
    for (const Named& n : names)
        if (n.code == Code) return n.name;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(Code));
    return u"Unknown (&H" + Text(digits, digits + 8) + u")";
}

RuntimeError faultError(const platform::FaultRecord& ExceptionInformation) {
    const platform::FaultRecord* record = &ExceptionInformation;
    while (record->nested != nullptr) record = record->nested;
    const auto number = static_cast<std::int32_t>((record->code & 0x8EFu) | 10000u);
    return RuntimeError(number, GetExceptionName(record->code), u"vbcsExceptionFilter", 0);
}

void vbcsExceptionFilter(const platform::FaultRecord& ExceptionInformation) {
    throw faultError(ExceptionInformation);
}

platform::RecoveryPoint* resumeAfterFault(const platform::FaultRecord& ExceptionInformation) noexcept {
    try {
        return CatchPoint::resumeInnermost(faultError(ExceptionInformation));
    } catch (...) {
        return nullptr;  // no memory to describe the fault: not taken
    }
}

}  // namespace kw::modStartup
