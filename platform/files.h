// The file system as the component sees it: Windows paths, with "\" as the
// separator and names matched without regard to letter case. On Windows this
// is the system itself; elsewhere "\" and "/" both separate folders and names
// are matched the way Windows matches them.
#pragma once

#include <optional>
#include <string>

#include "platform/strings.h"

namespace platform {

// The name, without folder, of the first directory entry that matches path
// among normal files (neither hidden, nor system files, nor folders; where
// files carry no such attributes, every regular file is normal); the
// last component may hold the wildcards "*" and "?". Empty text when nothing
// matches or the folder does not exist; no value when the path cannot be a
// path at all (it holds a NUL).
std::optional<Text> findFirstNormalFile(const Text& path);

// The path as this system's file functions take it.
std::string nativePath(const Text& path);

}  // namespace platform
