#include "outside/mailhelper.h"

namespace kw::mailhelper {

namespace {
// The BSTR an interface's getter gives, and its text.
template <class Helper, class Getter>
Bstr bstrFrom(const ComPtr<Helper>& helper, Getter getter, Site at) {
    Bstr text;
    check((need(helper, at)->*getter)(text.put()), helper, at);
    return text;
}
template <class Helper, class Getter>
Text textFrom(const ComPtr<Helper>& helper, Getter getter, Site at) {
    return bstrFrom(helper, getter, at).text();
}
}  // namespace

Variant Fields(const ComPtr<IKWMailItem>& helper, std::int32_t tag, Site at) {
    Variant value;
    check(need(helper, at)->get_Fields(tag, value.put()), helper, at);
    return value;
}

ComPtr<IDispatch> Attachments(const ComPtr<IKWMailItem>& helper, Site at) {
    ComPtr<IDispatch> attachments;
    check(need(helper, at)->get_Attachments(attachments.put()), helper, at);
    return attachments;
}

Bstr Body(const ComPtr<IKWMailItem>& helper, Site at) { return bstrFrom(helper, &IKWMailItem::get_Body, at); }

Bstr HTMLBody(const ComPtr<IKWMailItem>& helper, Site at) { return bstrFrom(helper, &IKWMailItem::get_HTMLBody, at); }

void SaveAs(const ComPtr<IKWMailItem>& helper, const Text& path, std::int16_t type, Site at) {
    Bstr file(path);
    Variant format = Variant::i2(type);
    check(need(helper, at)->SaveAs(file.get(), *format.get()), helper, at);
}


Text EmailAddress(const ComPtr<IKWContactItem>& helper, int slot, Site at) {
    constexpr HRESULT (STDMETHODCALLTYPE IKWContactItem::*getters[])(BSTR*) = {
        &IKWContactItem::get_Email1Address, &IKWContactItem::get_Email2Address, &IKWContactItem::get_Email3Address};
    return textFrom(helper, getters[slot - 1], at);
}

Text EmailAddressType(const ComPtr<IKWContactItem>& helper, int slot, Site at) {
    constexpr HRESULT (STDMETHODCALLTYPE IKWContactItem::*getters[])(BSTR*) = {
        &IKWContactItem::get_Email1AddressType, &IKWContactItem::get_Email2AddressType,
        &IKWContactItem::get_Email3AddressType};
    return textFrom(helper, getters[slot - 1], at);
}

Text CurrentProfileName(const ComPtr<IKWMAPIUtils>& helper, Site at) {
    return textFrom(helper, &IKWMAPIUtils::get_CurrentProfileName, at);
}

}  // namespace kw::mailhelper
