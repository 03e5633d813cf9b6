// The mail helper component, which reads raw MAPI properties of Outlook
// items. Its classes are created by ProgID and called by vtable slot.
#pragma once

#include "outside/slots.h"

// Shared by the mail and contact item classes.
struct IKWItem : public IDispatch {
    KW_UNUSED_SLOT(7);
    // 8: binds the helper to an Outlook item; later reads refer to it.
    virtual HRESULT STDMETHODCALLTYPE putref_SourceItem(IDispatch* item) = 0;
    // 9: one MAPI property of the bound item.
    virtual HRESULT STDMETHODCALLTYPE get_Fields(LONG propertyTag, VARIANT* value) = 0;
};

// The middle interface through which the mail item derives from IKWItem.
struct IKWMailItemBase : public IKWItem {
    KW_UNUSED_SLOT(10);
    KW_UNUSED_SLOT(11);
    KW_UNUSED_SLOT(12);
    KW_UNUSED_SLOT(13);
    KW_UNUSED_SLOT(14);
    KW_UNUSED_SLOT(15);
    KW_UNUSED_SLOT(16);
    // 17: the attachments, a collection enumerated with _NewEnum whose
    // elements answer Size, Fields and AsText by name.
    virtual HRESULT STDMETHODCALLTYPE get_Attachments(IDispatch** attachments) = 0;
    KW_UNUSED_SLOT(18);
    KW_UNUSED_SLOT(19);
    // 20: the plain-text body.
    virtual HRESULT STDMETHODCALLTYPE get_Body(BSTR* body) = 0;
    KW_UNUSED_SLOT(21);
    // 22: writes the item to a file in the given format (a 16-bit integer).
    virtual HRESULT STDMETHODCALLTYPE SaveAs(BSTR path, VARIANT type) = 0;
};

struct IKWMailItem : public IKWMailItemBase {
    KW_UNUSED_SLOT(23);
    KW_UNUSED_SLOT(24);
    KW_UNUSED_SLOT(25);
    KW_UNUSED_SLOT(26);
    KW_UNUSED_SLOT(27);
    KW_UNUSED_SLOT(28);
    KW_UNUSED_SLOT(29);
    KW_UNUSED_SLOT(30);
    KW_UNUSED_SLOT(31);
    KW_UNUSED_SLOT(32);
    KW_UNUSED_SLOT(33);
    // 34: the HTML body.
    virtual HRESULT STDMETHODCALLTYPE get_HTMLBody(BSTR* body) = 0;
};

struct IKWContactItem : public IKWItem {
    KW_UNUSED_SLOT(10);
    KW_UNUSED_SLOT(11);
    KW_UNUSED_SLOT(12);
    KW_UNUSED_SLOT(13);
    KW_UNUSED_SLOT(14);
    KW_UNUSED_SLOT(15);
    KW_UNUSED_SLOT(16);
    KW_UNUSED_SLOT(17);
    KW_UNUSED_SLOT(18);
    KW_UNUSED_SLOT(19);
    KW_UNUSED_SLOT(20);
    KW_UNUSED_SLOT(21);
    KW_UNUSED_SLOT(22);
    KW_UNUSED_SLOT(23);
    KW_UNUSED_SLOT(24);
    virtual HRESULT STDMETHODCALLTYPE get_Email1Address(BSTR* address) = 0;      // 25
    virtual HRESULT STDMETHODCALLTYPE get_Email1AddressType(BSTR* type) = 0;     // 26
    KW_UNUSED_SLOT(27);
    KW_UNUSED_SLOT(28);
    virtual HRESULT STDMETHODCALLTYPE get_Email2Address(BSTR* address) = 0;      // 29
    virtual HRESULT STDMETHODCALLTYPE get_Email2AddressType(BSTR* type) = 0;     // 30
    KW_UNUSED_SLOT(31);
    KW_UNUSED_SLOT(32);
    virtual HRESULT STDMETHODCALLTYPE get_Email3Address(BSTR* address) = 0;      // 33
    virtual HRESULT STDMETHODCALLTYPE get_Email3AddressType(BSTR* type) = 0;     // 34
};

struct IKWMAPIUtils : public IDispatch {
    KW_UNUSED_SLOT(7);
    KW_UNUSED_SLOT(8);
    KW_UNUSED_SLOT(9);
    KW_UNUSED_SLOT(10);
    KW_UNUSED_SLOT(11);
    KW_UNUSED_SLOT(12);
    KW_UNUSED_SLOT(13);
    KW_UNUSED_SLOT(14);
    KW_UNUSED_SLOT(15);
    KW_UNUSED_SLOT(16);
    KW_UNUSED_SLOT(17);
    KW_UNUSED_SLOT(18);
    KW_UNUSED_SLOT(19);
    KW_UNUSED_SLOT(20);
    KW_UNUSED_SLOT(21);
    KW_UNUSED_SLOT(22);
    // 23: the name of the current mail profile.
    virtual HRESULT STDMETHODCALLTYPE get_CurrentProfileName(BSTR* name) = 0;
};

namespace kw::mailhelper {
inline constexpr IID IID_KWItem = platform::makeGuid("F71D2854-2609-4A63-B4BF-BF2BA61A61CF");
inline constexpr IID IID_KWMailItemBase = platform::makeGuid("DBCAD616-BFD4-4C72-8D87-C5926921D378");
inline constexpr IID IID_KWMailItem = platform::makeGuid("0A95BE2D-1543-46BE-AD6D-18653034BF87");
inline constexpr IID IID_KWContactItem = platform::makeGuid("3120A5E4-552D-4EDF-8C48-70C5D5FF22D2");
inline constexpr IID IID_KWMAPIUtils = platform::makeGuid("D45B0772-5801-4E61-9CBA-84120557A4D7");

inline constexpr char16_t kMailItemProgId[] = u"KWOLTOOL.KWMailItem";
inline constexpr char16_t kContactItemProgId[] = u"KWOLTOOL.KWContactItem";
inline constexpr char16_t kMAPIUtilsProgId[] = u"KWOLTOOL.KWMAPIUtils";

// MAPI property tags: identifier in the upper 16 bits, type in the lower 16
// (0x001E an 8-bit string, 0x0003 a 32-bit integer).
inline constexpr std::int32_t PR_SENT_REPRESENTING_ADDRTYPE = 0x0064001E;
inline constexpr std::int32_t PR_SENT_REPRESENTING_EMAIL_ADDRESS = 0x0065001E;
inline constexpr std::int32_t PR_RCVD_REPRESENTING_ADDRTYPE = 0x0077001E;
inline constexpr std::int32_t PR_RCVD_REPRESENTING_EMAIL_ADDRESS = 0x0078001E;
inline constexpr std::int32_t PR_HEADERS = 0x007D001E;
inline constexpr std::int32_t PR_SUBJECT = 0x0037001E;
inline constexpr std::int32_t PR_MESSAGE_CODEPAGE = 0x3FFD0003;
inline constexpr std::int32_t PR_ATTACH_MIME_TAG = 0x370E001E;
}  // namespace kw::mailhelper

KW_INTERFACE_ID(IKWItem, kw::mailhelper::IID_KWItem);
KW_INTERFACE_ID(IKWMailItemBase, kw::mailhelper::IID_KWMailItemBase);
KW_INTERFACE_ID(IKWMailItem, kw::mailhelper::IID_KWMailItem);
KW_INTERFACE_ID(IKWContactItem, kw::mailhelper::IID_KWContactItem);
KW_INTERFACE_ID(IKWMAPIUtils, kw::mailhelper::IID_KWMAPIUtils);

#include <type_traits>

#include "core/automation.h"

// Typed calls on the mail helper, each raising the run-time error of a
// failing HRESULT with the caller's line.
namespace kw::mailhelper {
// Binds a mail or contact helper to an Outlook item.
template <class Helper>
    requires std::is_base_of_v<IKWItem, Helper>
void SourceItem(const ComPtr<Helper>& helper, IDispatch* item, Site at = Site::here()) {
    check(need(helper, at)->putref_SourceItem(item), helper, at);
}
Variant Fields(const ComPtr<IKWMailItem>& helper, std::int32_t tag, Site at = Site::here());
ComPtr<IDispatch> Attachments(const ComPtr<IKWMailItem>& helper, Site at = Site::here());
// The bodies stay the BSTRs the helper gave, so they can be handed on
// without a copy.
Bstr Body(const ComPtr<IKWMailItem>& helper, Site at = Site::here());
Bstr HTMLBody(const ComPtr<IKWMailItem>& helper, Site at = Site::here());
void SaveAs(const ComPtr<IKWMailItem>& helper, const Text& path, std::int16_t type, Site at = Site::here());

// E-mail address `slot` (1 to 3) of the bound contact, and its type.
Text EmailAddress(const ComPtr<IKWContactItem>& helper, int slot, Site at = Site::here());
Text EmailAddressType(const ComPtr<IKWContactItem>& helper, int slot, Site at = Site::here());

Text CurrentProfileName(const ComPtr<IKWMAPIUtils>& helper, Site at = Site::here());
}  // namespace kw::mailhelper
