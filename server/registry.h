// Self-registration of the DLL (Windows only): the class, its ProgID, the
// interface and the type library, from the data in server/registration.h.
#pragma once

#include <vector>

#include "platform/com.h"
#include "server/registration.h"

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

// The parts of the registration that other in-process servers of the project
// (the stand-ins' DLL) share, through the same calls: the full path of the
// module; writing values below HKEY_CLASSES_ROOT (up to the first failure);
// removing keys whole, each even when another could not be removed, a key
// that is already gone counting as removed (answers the first failure).
HRESULT modulePath(platform::Text& path);
HRESULT writeValues(const std::vector<registration::Value>& values);
HRESULT deleteKeys(const std::vector<platform::Text>& keys);

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
