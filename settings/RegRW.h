// RegRW: the only place where the component touches persistent settings.
// RegRead and RegWrite read or write one named value in the registry or, when
// the caller asks for it, in an INI file, through the process's settings
// backend (platform/settingsapi.h). Both skip every step that fails and go on
// with the next: a setting that cannot be read comes back as empty text ("0"
// for the letter "D"), one that cannot be written is not written, and nothing
// is ever reported or thrown to the caller.
//
// Type letters, matched whatever their case:
//   "S"  REG_SZ        written as text; read up to the first NUL
//   "MS" REG_MULTI_SZ  written as the raw text; read as the data less its last character
//   "D"  REG_DWORD     written as a 32-bit signed integer; read as its decimal text
//   "B"  (read only)   read up to the first space
// Any other letter reads as empty text and writes nothing. In INI mode the
// key path is the section and the value name the key; the letter is not used.
#pragma once

#include <cstdint>

#include "core/automation.h"
#include "platform/settingsapi.h"

namespace kw {

namespace RegRW {

// RootKey is a predefined root's 32-bit handle value (platform::root).
Text RegRead(Text KeyPath, Text ValueName, Text ValueType, const bool& UseIniFile, const Text& IniFileName,
             std::int32_t RootKey) noexcept;

// Value is text for "S" and "MS" and a number for "D"; any other value is
// converted as the letter asks.
void RegWrite(Text KeyPath, Text ValueName, Text ValueType, const Variant& Value, const bool& UseIniFile,
              const Text& IniFileName, const std::int32_t& RootKey) noexcept;

}  // namespace RegRW
}  // namespace kw
