// The identity of the load-time benchmark's empty COM server.
#pragma once

#include <windows.h>

namespace emptycom {

// {6B1E3A52-0C7D-4F2A-9E61-3D5B8C2F7A14}
inline constexpr CLSID kClsid = {0x6B1E3A52, 0x0C7D, 0x4F2A, {0x9E, 0x61, 0x3D, 0x5B, 0x8C, 0x2F, 0x7A, 0x14}};
inline constexpr wchar_t kClsidText[] = L"{6B1E3A52-0C7D-4F2A-9E61-3D5B8C2F7A14}";
inline constexpr wchar_t kProgId[] = L"KWBench.Empty";

}  // namespace emptycom
