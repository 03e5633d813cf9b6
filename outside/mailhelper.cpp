#include "outside/mailhelper.h"

namespace kw::mailhelper {

void SourceItem(const ComPtr<IKWMailItem>& helper, IDispatch* item, Site at) {
    check(need(helper, at)->putref_SourceItem(item), helper, at);
}

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

Text Body(const ComPtr<IKWMailItem>& helper, Site at) {
    Bstr body;
    check(need(helper, at)->get_Body(body.put()), helper, at);
    return body.text();
}

Text HTMLBody(const ComPtr<IKWMailItem>& helper, Site at) {
    Bstr body;
    check(need(helper, at)->get_HTMLBody(body.put()), helper, at);
    return body.text();
}

void SaveAs(const ComPtr<IKWMailItem>& helper, const Text& path, std::int16_t type, Site at) {
    Bstr file(path);
    Variant format = Variant::i2(type);
    check(need(helper, at)->SaveAs(file.get(), *format.get()), helper, at);
}

}  // namespace kw::mailhelper
