// The COM identity of the component, declared once: the registration code,
// the class factory, the type library and the tests all read it from here.
#pragma once

#include "platform/guid.h"

namespace kw::identity {

inline constexpr CLSID CLSID_Functions = platform::makeGuid("82C135B0-535D-46A3-81E0-E11633649D0A");
inline constexpr IID IID__Functions = platform::makeGuid("A7A86EF7-B5C1-11DA-8B80-0003FFFEFFFF");
inline constexpr GUID LIBID_KWOLFunc = platform::makeGuid("0D101FF6-E095-4E6D-8D9A-A61C8970C1B0");
inline constexpr char16_t kProgId[] = u"KWOLFunc.Functions";
inline constexpr char16_t kProjectName[] = u"KWOLFunc";
inline constexpr char16_t kClassName[] = u"Functions";
inline constexpr char16_t kLibraryHelp[] = u"Kestrelwood Outlook functions";
inline constexpr unsigned kLibraryMajor = 16;
inline constexpr unsigned kLibraryMinor = 0;

// DISPIDs of _Functions.
namespace dispid {
inline constexpr DISPID DisableVoting = 0x40030016;
inline constexpr DISPID ProfileName = 0x40030017;
inline constexpr DISPID RecheckFolder = 0x40030018;
inline constexpr DISPID CheckMail = 0x60030018;
inline constexpr DISPID BlockMail = 0x60030019;
inline constexpr DISPID UnBlockMail = 0x6003001A;
inline constexpr DISPID PickFolder = 0x6003001B;
inline constexpr DISPID GetFolderName = 0x6003001C;
inline constexpr DISPID CreateFolder = 0x6003001D;
inline constexpr DISPID GetFolderPath = 0x6003001E;
inline constexpr DISPID GetContactlist = 0x6003001F;
inline constexpr DISPID GetProfileName = 0x60030021;
}  // namespace dispid

}  // namespace kw::identity
