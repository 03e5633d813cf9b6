#include "errorcapture/frame.h"
#include "errorcapture/state.h"

namespace kw {

ErrorState& errorState() noexcept {
    thread_local ErrorState state;
    return state;
}

void errorBlock(const Procedure&, const RuntimeError& failure) { throw failure; }

}  // namespace kw
