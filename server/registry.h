// Self-registration of the DLL (Windows only): the class, its ProgID, the
// interface and the type library, from the data in server/registration.h.
#pragma once

#include "platform/com.h"

namespace kw::server {

// The module whose path and type library resource are registered.
void setModule(HINSTANCE module) noexcept;
HINSTANCE module() noexcept;

// Registers everything; on a failure removes what it wrote and answers the
// failure.
HRESULT registerServer() noexcept;
// Removes everything registration writes, each part even when another could
// not be removed; answers the first failure. What is already gone counts as
// removed.
HRESULT unregisterServer() noexcept;

// Every outward call of the registration, so that checks can fail any one.
struct RegistryCalls {
    decltype(&GetModuleFileNameW) moduleFileName;
    decltype(&RegCreateKeyExW) createKey;
    decltype(&RegSetValueExW) setValue;
    decltype(&RegCloseKey) closeKey;
    decltype(&RegDeleteTreeW) deleteTree;
    decltype(&RegDeleteKeyExW) deleteKey;
    decltype(&LoadTypeLibEx) loadTypeLib;
    decltype(&RegisterTypeLib) registerTypeLib;
    decltype(&UnRegisterTypeLib) unregisterTypeLib;
};
RegistryCalls& registryCalls() noexcept;

}  // namespace kw::server
