// Self-registration of the DLL (Windows only): the class, its ProgID, the
// interface and the type library, from the data in server/registration.h.
#pragma once

#include "platform/com.h"

namespace kw::server {

void setModule(HINSTANCE module) noexcept;
HRESULT registerServer() noexcept;
HRESULT unregisterServer() noexcept;

}  // namespace kw::server
