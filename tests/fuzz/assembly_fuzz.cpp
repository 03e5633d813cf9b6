// The complete message assembly (GetCompleteMessageContent) through the
// in-memory stand-ins, over a mail built from the input: its header block
// (as text or as a value of another type), HTML and plain bodies, any number
// of attachments of any size, MIME type and content, and failures planned on
// any of the calls the assembly makes. Texts are taken as UTF-16 code units,
// so they hold NULs and lone surrogates.
//
// Whatever the input, the call returns a text or passes a run-time error on,
// every stand-in is released, and without a planned failure and with a text
// header block the result is the rewritten header, one signature line per
// attachment below 100 KB, an empty line and the body the spam client was
// given back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "content/RewriteHeader.h"
#include "functions/Functions.h"
#include "platform/casefold.h"
#include "standins/environment.h"

namespace {

using platform::ComPtr;
using platform::Text;
using platform::Variant;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

Text units(FuzzedDataProvider& in, std::size_t most) {
    const std::string bytes = in.ConsumeRandomLengthString(most * 2);
    Text text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

// The calls of the assembly a failure can be planned on.
constexpr const char* kCalls[] = {
    "KWMailItem.SourceItem",    "KWMailItem.Fields",       "KWMailItem.HTMLBody",         "KWMailItem.Body",
    "KWMailItem.Attachments",   "Attachments._NewEnum",    "Attachment.Size",             "Attachment.Fields",
    "Attachment.AsText",        "SpamClientCOM.PrepareBody", "SpamClientCOM.SignAttachment",
    "Settings.RegQueryValueExA", "Settings.RegOpenKeyA",   "GetIDsOfNames Attachment.Size",
    "GetIDsOfNames Attachment.AsText",
};
constexpr HRESULT kFailures[] = {E_FAIL, E_OUTOFMEMORY, DISP_E_EXCEPTION, DISP_E_TYPEMISMATCH,
                                 static_cast<HRESULT>(0x800A01A8u)};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    bool planned = false, textHeader = true;
    {
        standins::Environment env;
        env.outlook.pickAnswer = nullptr;
        standins::log().recording = false;
        standins::MailItem* mail = env.outlook.addMail(env.outlook.defaultFolder(6));

        const Text header = units(in, 2048);
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
            case 0: mail->properties[kw::mailhelper::PR_HEADERS] = Variant::null(); textHeader = false; break;
            case 1: mail->properties[kw::mailhelper::PR_HEADERS] = Variant::i4(in.ConsumeIntegral<std::int32_t>()); textHeader = false; break;
            case 2: textHeader = false; break;  // no header property at all
            default: mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(header);
        }
        mail->htmlBody = units(in, 1024);
        if (in.ConsumeBool()) mail->htmlBody += u"<!-- Converted from text/plain format -->";
        mail->body = units(in, 1024);
        const int attachments = in.ConsumeIntegralInRange<int>(0, 12);
        for (int i = 0; i < attachments; ++i) {
            standins::Attachment a;
            a.size = in.ConsumeBool() ? in.ConsumeIntegral<std::int32_t>() : in.ConsumeIntegralInRange<std::int32_t>(0, 200000);
            a.mimeTag = units(in, 32);
            a.content = units(in, 256);
            mail->attachments.push_back(std::move(a));
        }
        const int failures = in.ConsumeIntegralInRange<int>(0, 3);
        for (int i = 0; i < failures; ++i) {
            const char* call = in.PickValueInArray(kCalls);
            const HRESULT hr = in.PickValueInArray(kFailures);
            const int from = in.ConsumeIntegralInRange<int>(1, 6);
            standins::log().failOn(call, standins::Failure{hr, from, in.ConsumeBool(), in.ConsumeBool() ? u"planned" : u"", u"", false});
            planned = true;
        }
        const bool prepared = in.ConsumeBool();
        if (prepared) env.spam.prepare = [](const Text& body) { return u"[" + body + u"]"; };

        kw::Functions functions;
        functions.ObjNS = ComPtr<IDispatch>::share(env.outlook.ns()).query<_NameSpace>();
        functions.InitCOM();
        ComPtr<_MailItem> item = ComPtr<IDispatch>::share(mail).query<_MailItem>();
        bool failed = false;
        Text result;
        try {
            result = functions.GetCompleteMessageContent(item);
        } catch (const kw::RuntimeError& error) {
            require(error.number() == 65535);
            failed = true;
        }
        require(!failed || !env.reports.empty());
        if (!planned && textHeader) {
            require(!failed);
            if (header.empty()) {
                require(result.empty());
            } else {
                const bool html = !mail->htmlBody.empty() && !platform::containsLowered(mail->htmlBody, u"<!-- converted from text/plain format -->");
                const Text& body = html ? mail->htmlBody : mail->body;
                kw::HeaderRewrite work;
                const Text rewritten = kw::RewriteHeader(header, html ? u"text/html" : u"text/plain", work);
                const Text sent = body.empty() ? body : prepared ? u"[" + body + u"]" : body;
                require(result.size() >= rewritten.size() + 2 + sent.size());
                require(result.compare(0, rewritten.size(), rewritten) == 0);
                require(result.compare(result.size() - sent.size() - 2, 2 + sent.size(), u"\r\n" + sent) == 0);
                std::size_t signed_ = 0;
                for (const standins::Attachment& a : mail->attachments) signed_ += a.size < 102400 ? 1 : 0;
                std::size_t lines = 0;
                for (std::size_t at = rewritten.size(); (at = result.find(u"X-Kestrelwood-Signature: ", at)) != Text::npos &&
                                                        at < result.size() - sent.size();
                     ++at)
                    ++lines;
                require(lines == signed_);
            }
        }
        item.reset();
        functions.UnInitCOM();
    }
    kw::releaseThreadOutlookApplication();
    require(standins::liveObjects().load() == 0);
    return 0;
}
