// The mail helper stand-ins: KWOLTOOL.KWMailItem, KWOLTOOL.KWContactItem and
// KWOLTOOL.KWMAPIUtils, reading what the in-memory Outlook items carry.
#include "standins/mailhelper.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "outside/mailhelper.h"
#include "platform/atomicfile.h"
#include "platform/files.h"
#include "standins/environment.h"
#include "standins/vtableobject.h"

namespace standins {

namespace {

using namespace kw::mailhelper;

std::string tagText(LONG tag) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", static_cast<unsigned>(tag));
    return b;
}

HRESULT giveText(const Text& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = platform::allocBstr(text);
    return S_OK;
}

// One attachment, answering Size, Fields and AsText by name.
class AttachmentObject final : public DispatchObject<> {
public:
    AttachmentObject(const Attachment& a, int index) : DispatchObject("Attachment", std::to_string(index), u"Attachment") {
        property(u"Size", [a](const std::vector<Variant>&) { return Variant::i4(a.size); });
        method(u"Fields", [a](const std::vector<Variant>& args) {
            Variant tag;
            if (args.empty() || FAILED(VariantChangeType(tag.get(), const_cast<VARIANT*>(args[0].get()), 0, VT_I4)))
                throw Refusal{DISP_E_TYPEMISMATCH};
            if (tag.get()->lVal == PR_ATTACH_MIME_TAG) return Variant::text(a.mimeTag);
            return Variant();
        });
        method(u"AsText", [a](const std::vector<Variant>&) { return Variant::text(a.content); });
    }
};

class AttachmentList final : public DispatchObject<> {
public:
    explicit AttachmentList(const std::vector<Attachment>& attachments) : DispatchObject("Attachments", "", u"Attachments") {
        int index = 0;
        for (const Attachment& a : attachments) objects_.emplace_back(new AttachmentObject(a, ++index));
        collection([this] {
            std::vector<Variant> out;
            for (const auto& o : objects_) out.push_back(objectVariant(o.get()));
            return out;
        });
    }

private:
    std::vector<Owned<AttachmentObject>> objects_;
};

// The storage error a failed save gives for errno.
HRESULT saveError(int error) {
    switch (error) {
        case EEXIST: return static_cast<HRESULT>(0x80030050u);  // STG_E_FILEALREADYEXISTS
        case ENOENT: case ENOTDIR: case ENAMETOOLONG: return static_cast<HRESULT>(0x80030003u);  // STG_E_PATHNOTFOUND
        case EACCES: case EPERM: case EROFS: return static_cast<HRESULT>(0x80030005u);  // STG_E_ACCESSDENIED
#ifdef EDQUOT  // no disk quotas on Windows
        case EDQUOT:
#endif
        case ENOSPC: return static_cast<HRESULT>(0x80030070u);  // STG_E_MEDIUMFULL
        default: return static_cast<HRESULT>(0x8003001Du);  // STG_E_WRITEFAULT
    }
}

// Writes an item as an Internet message file: the file it was read from,
// byte for byte, or else its transport headers (or a minimal header block
// built from the subject), an empty line, the body. The file appears whole or
// not at all, and an existing file is never replaced.
HRESULT writeMessageFile(const std::string& path, const MailItem& item) {
    std::string bytes;
    if (!item.file.empty()) {
        std::ifstream in(item.file, std::ios::binary);
        if (!in) return saveError(ENOENT);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        auto text = [&](std::int32_t tag) {
            auto found = item.properties.find(tag);
            if (found == item.properties.end()) return Text();
            Variant v;
            if (FAILED(VariantChangeType(v.get(), const_cast<VARIANT*>(found->second.get()), 0, VT_BSTR))) return Text();
            return platform::textOf(v.get()->bstrVal);
        };
        Text headers = text(PR_HEADERS);
        if (headers.empty()) headers = u"Subject: " + text(PR_SUBJECT) + u"\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n";
        while (headers.size() >= 2 && headers.compare(headers.size() - 2, 2, u"\r\n") == 0) headers.resize(headers.size() - 2);
        bytes = utf8(headers) + "\r\n\r\n" + utf8(item.body);
    }
    try {
        platform::createFile(path, bytes);
    } catch (const std::system_error& failure) {
        return saveError(failure.code().value());
    }
    return S_OK;
}

}  // namespace

class KWMailItemObject final : public VtableObject<IKWMailItem> {
public:
    KWMailItemObject() : VtableObject("KWMailItem", {IID_KWItem, IID_KWMailItemBase, IID_KWMailItem}) {}

    HRESULT STDMETHODCALLTYPE putref_SourceItem(IDispatch* item) override {
        Variant shown = Variant::dispatch(item);
        if (HRESULT hr = enter("SourceItem", describe(*shown.get())); FAILED(hr)) return hr;
        auto* mail = dynamic_cast<MailItem*>(DispatchCore::from(item));
        if (mail == nullptr) return E_INVALIDARG;
        item_ = ComPtr<IDispatch>::share(item);
        mail_ = mail;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Fields(LONG tag, VARIANT* value) override {
        if (HRESULT hr = enter("Fields", tagText(tag)); FAILED(hr)) return hr;
        if (mail_ == nullptr) return E_UNEXPECTED;
        VariantInit(value);
        auto found = mail_->properties.find(tag);
        if (found != mail_->properties.end()) VariantCopy(value, const_cast<VARIANT*>(found->second.get()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Attachments(IDispatch** attachments) override {
        if (HRESULT hr = enter("Attachments"); FAILED(hr)) return hr;
        if (mail_ == nullptr) return E_UNEXPECTED;
        *attachments = new AttachmentList(mail_->attachments);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Body(BSTR* body) override {
        if (HRESULT hr = enter("Body"); FAILED(hr)) return hr;
        if (mail_ == nullptr) return E_UNEXPECTED;
        return giveText(mail_->body, body);
    }
    HRESULT STDMETHODCALLTYPE get_HTMLBody(BSTR* body) override {
        if (HRESULT hr = enter("HTMLBody"); FAILED(hr)) return hr;
        if (mail_ == nullptr) return E_UNEXPECTED;
        return giveText(mail_->htmlBody, body);
    }
    HRESULT STDMETHODCALLTYPE SaveAs(BSTR path, VARIANT type) override {
        if (HRESULT hr = enter("SaveAs", standins::quoted(platform::textOf(path)) + ", " + describe(type)); FAILED(hr)) return hr;
        if (mail_ == nullptr) return E_UNEXPECTED;
        if (type.vt != VT_I2 || type.iVal != 1024) return E_INVALIDARG;
        return writeMessageFile(platform::nativePath(platform::textOf(path)), *mail_);
    }

    KW_STANDIN_UNUSED(7)
    KW_STANDIN_UNUSED(10)
    KW_STANDIN_UNUSED(11)
    KW_STANDIN_UNUSED(12)
    KW_STANDIN_UNUSED(13)
    KW_STANDIN_UNUSED(14)
    KW_STANDIN_UNUSED(15)
    KW_STANDIN_UNUSED(16)
    KW_STANDIN_UNUSED(18)
    KW_STANDIN_UNUSED(19)
    KW_STANDIN_UNUSED(21)
    KW_STANDIN_UNUSED(23)
    KW_STANDIN_UNUSED(24)
    KW_STANDIN_UNUSED(25)
    KW_STANDIN_UNUSED(26)
    KW_STANDIN_UNUSED(27)
    KW_STANDIN_UNUSED(28)
    KW_STANDIN_UNUSED(29)
    KW_STANDIN_UNUSED(30)
    KW_STANDIN_UNUSED(31)
    KW_STANDIN_UNUSED(32)
    KW_STANDIN_UNUSED(33)

private:
    ComPtr<IDispatch> item_;
    MailItem* mail_ = nullptr;
};

class KWContactItemObject final : public VtableObject<IKWContactItem> {
public:
    KWContactItemObject() : VtableObject("KWContactItem", {IID_KWItem, IID_KWContactItem}) {}

    HRESULT STDMETHODCALLTYPE putref_SourceItem(IDispatch* item) override {
        Variant shown = Variant::dispatch(item);
        if (HRESULT hr = enter("SourceItem", describe(*shown.get())); FAILED(hr)) return hr;
        auto* contact = dynamic_cast<ContactItem*>(DispatchCore::from(item));
        item_ = ComPtr<IDispatch>::share(item);
        contact_ = contact;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Fields(LONG tag, VARIANT* value) override {
        if (HRESULT hr = enter("Fields", tagText(tag)); FAILED(hr)) return hr;
        VariantInit(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Email1Address(BSTR* v) override { return slot("Email1Address", 0, false, v); }
    HRESULT STDMETHODCALLTYPE get_Email1AddressType(BSTR* v) override { return slot("Email1AddressType", 0, true, v); }
    HRESULT STDMETHODCALLTYPE get_Email2Address(BSTR* v) override { return slot("Email2Address", 1, false, v); }
    HRESULT STDMETHODCALLTYPE get_Email2AddressType(BSTR* v) override { return slot("Email2AddressType", 1, true, v); }
    HRESULT STDMETHODCALLTYPE get_Email3Address(BSTR* v) override { return slot("Email3Address", 2, false, v); }
    HRESULT STDMETHODCALLTYPE get_Email3AddressType(BSTR* v) override { return slot("Email3AddressType", 2, true, v); }

    KW_STANDIN_UNUSED(7)
    KW_STANDIN_UNUSED(10)
    KW_STANDIN_UNUSED(11)
    KW_STANDIN_UNUSED(12)
    KW_STANDIN_UNUSED(13)
    KW_STANDIN_UNUSED(14)
    KW_STANDIN_UNUSED(15)
    KW_STANDIN_UNUSED(16)
    KW_STANDIN_UNUSED(17)
    KW_STANDIN_UNUSED(18)
    KW_STANDIN_UNUSED(19)
    KW_STANDIN_UNUSED(20)
    KW_STANDIN_UNUSED(21)
    KW_STANDIN_UNUSED(22)
    KW_STANDIN_UNUSED(23)
    KW_STANDIN_UNUSED(24)
    KW_STANDIN_UNUSED(27)
    KW_STANDIN_UNUSED(28)
    KW_STANDIN_UNUSED(31)
    KW_STANDIN_UNUSED(32)

private:
    HRESULT slot(const char* member, int index, bool type, BSTR* out) {
        if (HRESULT hr = enter(member); FAILED(hr)) return hr;
        if (contact_ == nullptr) return E_UNEXPECTED;
        return giveText(type ? contact_->addressType[index] : contact_->address[index], out);
    }

    ComPtr<IDispatch> item_;
    ContactItem* contact_ = nullptr;
};

class KWMAPIUtilsObject final : public VtableObject<IKWMAPIUtils> {
public:
    KWMAPIUtilsObject() : VtableObject("KWMAPIUtils", {IID_KWMAPIUtils}) {}

    HRESULT STDMETHODCALLTYPE get_CurrentProfileName(BSTR* name) override {
        if (HRESULT hr = enter("CurrentProfileName"); FAILED(hr)) return hr;
        return giveText(Environment::current().profileName, name);
    }

    KW_STANDIN_UNUSED(7)
    KW_STANDIN_UNUSED(8)
    KW_STANDIN_UNUSED(9)
    KW_STANDIN_UNUSED(10)
    KW_STANDIN_UNUSED(11)
    KW_STANDIN_UNUSED(12)
    KW_STANDIN_UNUSED(13)
    KW_STANDIN_UNUSED(14)
    KW_STANDIN_UNUSED(15)
    KW_STANDIN_UNUSED(16)
    KW_STANDIN_UNUSED(17)
    KW_STANDIN_UNUSED(18)
    KW_STANDIN_UNUSED(19)
    KW_STANDIN_UNUSED(20)
    KW_STANDIN_UNUSED(21)
    KW_STANDIN_UNUSED(22)
};

IUnknown* newKWMailItem() { return static_cast<IKWMailItem*>(new KWMailItemObject()); }
IUnknown* newKWContactItem() { return static_cast<IKWContactItem*>(new KWContactItemObject()); }
IUnknown* newKWMAPIUtils() { return static_cast<IKWMAPIUtils*>(new KWMAPIUtilsObject()); }

}  // namespace standins
