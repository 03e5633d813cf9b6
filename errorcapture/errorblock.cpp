// The error block every procedure carries: capture the failure, write the
// procedure's locals, the object's members and the parameters as tagged
// text, report, and raise error 65535 to the caller.
#include <utility>

#include "errorcapture/DumpVariable.h"
#include "errorcapture/ReportError.h"
#include "errorcapture/frame.h"
#include "errorcapture/state.h"

namespace kw {

namespace {

constexpr char16_t kNone[] = u"{None}";

Text dumpBindings(const std::vector<Binding>& bindings) {
    if (bindings.empty()) return kNone;
    Text out;
    for (const Binding& b : bindings) {
        if (b.isExternal()) {
            // Variables of a type from another component's type library are
            // not dumped; a fixed text stands in their place.
            out += Text(u"<") + b.name() + u">{Cannot dump external UDTs}</" + b.name() + u">";
        } else {
            out += DumpVariable(b.name(), *b.read(), 99, 4);
        }
    }
    return out;
}

}  // namespace

namespace {
thread_local ErrorState* tErrorState = nullptr;
thread_local bool tInitialised = false;
#ifndef _WIN32
// Where the component is linked into its host rather than loaded as a DLL, a
// thread's error state goes with the thread.
struct FreedAtThreadExit {
    ~FreedAtThreadExit() { releaseThreadErrorState(); }
};
thread_local FreedAtThreadExit tFreedAtThreadExit;
#endif
}  // namespace

ErrorState& errorState() noexcept {
    if (tErrorState == nullptr) {
#ifndef _WIN32
        (void)&tFreedAtThreadExit;  // arranges the release at thread exit
#endif
        tErrorState = new ErrorState;  // a failed allocation ends the process, as any in a noexcept path
        tErrorState->vbcsHasInitialised = tInitialised;
    }
    return *tErrorState;
}

void releaseThreadErrorState() noexcept {
    if (tErrorState == nullptr) return;
    tInitialised = tErrorState->vbcsHasInitialised;
    delete std::exchange(tErrorState, nullptr);
}

void errorBlock(const Procedure& procedure, const RuntimeError& failure) {
    const std::int32_t callerLine = static_cast<std::int32_t>(procedure.caller().line);
    // The block runs under a catch point of its own: a failure inside it (a
    // dump, the report, a fault anywhere in them) ends the block, and that
    // failure goes to the caller instead of 65535. The procedure's own catch
    // point is gone by now, so nothing here runs the block a second time.
    const std::optional<RuntimeError> inside = takeFailure([&] {
        CaptureErrorState(failure);
        const Text locals = dumpBindings(procedure.localBindings());
        const Text members = procedure.hasMembers() ? procedure.dumpMembers() : Text(kNone);
        const Text params = dumpBindings(procedure.paramBindings());
        const ErrorState& state = errorState();
        ReportError(state.vbcsErrorNumber, procedure.module(), procedure.name(), state.vbcsErrorDescription,
                    state.vbcsErrorLine, locals, members, params);
    });
    if (inside) throw RuntimeError(inside->number(), inside->description(), inside->source(), callerLine);
    throw RuntimeError(err::RaisedByErrorBlock, describeError(err::RaisedByErrorBlock), kDefaultSource, callerLine);
}

}  // namespace kw
