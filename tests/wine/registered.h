// The checks that drive the registered DLL register it the same way: COM
// entered, the stand-in of the mail client's object library registered first
// (so that KWOLFunc's type information resolves its parameter types), then
// KWOLFunc.dll by regsvr32; and they undo it in the opposite order.
#pragma once

#include <windows.h>

#include <string>

#include "outside/outlook.h"
#include "tests/wine/check.h"
#include "tests/wine/process.h"

namespace wine_check {

inline void registerServer(const std::wstring& dll, const std::wstring& outlookLibrary) {
    CoInitialize(nullptr);
    ITypeLib* outlook = nullptr;
    expect(LoadTypeLibEx(outlookLibrary.c_str(), REGKIND_REGISTER, &outlook) == S_OK,
           "the mail client's object library (stand-in) is registered");
    if (outlook != nullptr) outlook->Release();
    expect(run(L"regsvr32 /s \"" + dll + L"\"") == 0, "regsvr32 registers KWOLFunc.dll");
}

inline void unregisterServer(const std::wstring& dll) {
    expect(run(L"regsvr32 /s /u \"" + dll + L"\"") == 0, "regsvr32 /u unregisters it");
    expect(UnRegisterTypeLib(kw::outlook::LIBID_Outlook, 9, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32) == S_OK,
           "the stand-in library is unregistered");
    CoUninitialize();
}

}  // namespace wine_check
