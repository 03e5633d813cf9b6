// What the DLL writes into the registry, declared once: the registration
// code and the registration checks both read it from here.
#pragma once

#include "functions/identity.h"

namespace kw::registration {

inline constexpr char16_t kThreadingModel[] = u"Apartment";
inline constexpr char16_t kClassDescription[] = u"Functions";
// The type library is registered under this locale, whatever locale the
// library itself is marked with.
inline constexpr unsigned kTypeLibLocale = 0;

}  // namespace kw::registration
