#include "errorcapture/modStartup.h"

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
    Procedure(u"modStartup", u"Main", at).run([&] { InstallExceptionFilter(); });
}

void InstallExceptionFilter() {
    ErrorState& state = errorState();
    if (state.vbcsHasInitialised) return;
    state.vbcsHasInitialised = true;
}

}  // namespace kw::modStartup
