// Small services of the operating system that the component needs once each.
#pragma once

#include "platform/strings.h"

namespace platform {

// The system's message text for an HRESULT, without a trailing line break;
// empty when the system has none.
Text systemMessage(HRESULT hr);

}  // namespace platform
