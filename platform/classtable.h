// The process's class table on platforms without a COM registry: hosts and
// tests register a factory under a CLSID and, optionally, a ProgID, and
// CoCreateInstance / CLSIDFromProgID look them up. ProgIDs match without
// regard to letter case, as registry keys do.
#pragma once

#include <functional>
#include <string>

#include "platform/com.h"

namespace platform {

using ClassFactoryFn = std::function<HRESULT(REFIID riid, void** ppv)>;

void registerClass(const CLSID& clsid, std::u16string progId, ClassFactoryFn factory);
void revokeClass(const CLSID& clsid);
void clearClassTable();

}  // namespace platform
