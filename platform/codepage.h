// Text in the process's ANSI code page, the form in which texts cross the
// registry and profile functions. On Windows that is the system's code page
// for non-Unicode programs, converted by the system with its own fallback
// (best-fit characters, then '?'); elsewhere it is Windows-1252, and a
// character it lacks becomes '?'. Both conversions keep U+0000 and go by
// length, not by terminator.
#pragma once

#include <string>
#include <string_view>

#include "platform/strings.h"

namespace platform {

std::string toAnsi(TextView text);
Text fromAnsi(std::string_view bytes);

}  // namespace platform
