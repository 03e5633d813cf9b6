// The copy of a checked mail on disk, and the file test it uses.
#pragma once

#include "core/runtimeerror.h"

namespace kw::General {

// True when the first normal file matching FilePathname (wildcards active)
// has the name that FilePathname ends with, whatever the letter case.
bool FileExist(const Text& FilePathname, Site at = Site::here());

}  // namespace kw::General
