// Factories of the mail helper stand-ins (each returns one reference).
#pragma once

#include <string>

#include "platform/strings.h"

struct IUnknown;

namespace standins {

IUnknown* newKWMailItem();
IUnknown* newKWContactItem();
IUnknown* newKWMAPIUtils();

// A Windows path ("C:\dir\file" or "\tmp\x") as a path of this system: the
// stand-ins that write files treat "\" as the separator.
std::string nativePath(const platform::Text& windowsPath);

}  // namespace standins
