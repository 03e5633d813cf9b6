// modStartup: the component's start-up on each thread that uses it.
#pragma once

#include <cstdint>

#include "core/runtimeerror.h"

namespace kw::modStartup {

// Runs Main once on the calling thread, before its first Functions object.
void startThread();

void Main(Site at = Site::here());
void InstallExceptionFilter();

}  // namespace kw::modStartup
