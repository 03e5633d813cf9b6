// The text of one received mail as the spam client judges it or learns from
// it: the transport headers rewritten for one body part, one signature line
// per small attachment, an empty line, and the body the client prepared.
// Everything about the item is read through the mail helper.
#include <array>
#include <optional>

#include "content/RewriteHeader.h"
#include "core/safearray.h"
#include "functions/Functions.h"
#include "outside/mailhelper.h"
#include "outside/spamclient.h"
#include "platform/casefold.h"
#include "settings/RegRW.h"

namespace kw {

namespace {

constexpr char16_t kCrLf[] = u"\r\n";
// An HTML body that Outlook made from a plain-text mail carries this marker;
// the plain body is then the real one.
constexpr char16_t kConvertedFromText[] = u"<!-- converted from text/plain format -->";
constexpr char16_t kSignatureHeader[] = u"X-Kestrelwood-Signature: ";
// Attachments this large or larger are not signed.
constexpr double kSignedBelowBytes = 102400;

// The header lines as the rewrite judged them, for the error report: Empty
// until the headers are rewritten, then built from the header block and the
// body type, which stay as they are from there on, when a report reads them.
struct SplitHeaderLines {
    const Text* header = nullptr;
    const Text* contentType = nullptr;
};

// A body as it crosses the interfaces, kept as the BSTR it came in: the mail
// helper's bodies go to the spam client and its answer into the message
// without a copy between them.
struct BodyText {
    Bstr bstr;
};

// The body the spam client is given, and then what it gave back: Empty text
// until one of the two bodies is chosen, then that body itself (not a copy),
// then the client's answer.
struct MessageBody {
    const Bstr* current = nullptr;
    Bstr prepared;
    TextView view() const noexcept { return current ? current->view() : TextView(); }
};

}  // namespace

template <>
struct Reported<SplitHeaderLines> {
    static Variant value(const SplitHeaderLines& lines) {
        return lines.header ? textArray(SplitHeader(*lines.header, *lines.contentType)) : Variant();
    }
};
template <>
struct Reported<BodyText> {
    static Variant value(const BodyText& body) { return Variant::text(body.bstr.view()); }
};
template <>
struct Reported<MessageBody> {
    static Variant value(const MessageBody& body) { return Variant::text(body.view()); }
};

Text Functions::GetCompleteMessageContent(ComPtr<_MailItem>& objMail, Site at) {
    std::int32_t PR_HTML = 0, PR_BODY = 0, PR_HEADERS = 0, PR_BODY_HTML = 0;
    std::int16_t INT_HTMLFORMAT = 0;
    std::int32_t PR_SUBJECT = 0, PR_ATTACH_MIME_TAG = 0, PR_SENDER_NAME = 0, PR_SENDER_EMAIL_ADDRESS = 0;
    std::int32_t PR_MESSAGE_CODEPAGE = 0, i = 0;
    Text sOrgHeader, sNewHeader;
    SplitHeaderLines sSplitHeader;
    BodyText sHTMLBody, sPlainBody;
    Text ContentType, CodePageType;
    HeaderRewrite header;
    Text sAttachments, FileSign, InstallationID, SaveAsFileTo, FileSubject;
    MessageBody myMessage;
    ByName<IDispatch> Element;
    Text result;
    return Procedure(*this, u"GetCompleteMessageContent", at)
        .locals({KW_VAR(PR_HTML), KW_VAR(PR_BODY), KW_VAR(PR_HEADERS), KW_VAR(PR_BODY_HTML), KW_VAR(INT_HTMLFORMAT),
                 KW_VAR(PR_SUBJECT), KW_VAR(PR_ATTACH_MIME_TAG), KW_VAR(PR_SENDER_NAME),
                 KW_VAR(PR_SENDER_EMAIL_ADDRESS), KW_VAR(PR_MESSAGE_CODEPAGE), Binding(u"A", header.A), KW_VAR(i),
                 KW_VAR(sOrgHeader), KW_VAR(sNewHeader), KW_VAR(sSplitHeader), KW_VAR(sHTMLBody), KW_VAR(sPlainBody),
                 KW_VAR(ContentType), KW_VAR(CodePageType), Binding(u"LastLineContentType", header.LastLineContentType),
                 Binding(u"LastLineContentEncoding", header.LastLineContentEncoding), KW_VAR(sAttachments),
                 KW_VAR(FileSign), KW_VAR(InstallationID), Binding(u"sOrgContentType", header.sOrgContentType),
                 KW_VAR(SaveAsFileTo), KW_VAR(FileSubject), KW_VAR(myMessage), KW_VAR(Element)})
        .params({KW_VAR(objMail)})
        .run([&] {
            PR_HTML = 0x10130102;
            PR_BODY = 0x1000001E;
            PR_HEADERS = mailhelper::PR_HEADERS;
            PR_BODY_HTML = 0x1013001E;
            INT_HTMLFORMAT = 2;
            PR_SUBJECT = mailhelper::PR_SUBJECT;
            PR_ATTACH_MIME_TAG = mailhelper::PR_ATTACH_MIME_TAG;
            PR_SENDER_NAME = 0x0C1A001E;
            PR_SENDER_EMAIL_ADDRESS = 0x0C1F001E;
            PR_MESSAGE_CODEPAGE = mailhelper::PR_MESSAGE_CODEPAGE;

            const bool noIniFile = false;
            InstallationID = RegRW::RegRead(u"Software\\Kestrelwood\\Installation\\", u"Identity", u"S", noIniFile,
                                            Text(), platform::root::LocalMachine);
            FileSign.clear();

            // An item the mail helper refuses has no text; that is no error.
            if (!ignoringFailure([&] { mailhelper::SourceItem(SafeMailItem, objMail.get()); })) return result;
            ignoringFailure([&] { SaveMessageCopy(SaveAsFileTo, FileSubject); });

            sOrgHeader = asText(*mailhelper::Fields(SafeMailItem, PR_HEADERS));
            CodePageType = asText(*mailhelper::Fields(SafeMailItem, PR_MESSAGE_CODEPAGE));
            if (sOrgHeader.empty()) return result;

            sHTMLBody.bstr = mailhelper::HTMLBody(SafeMailItem);
            sPlainBody.bstr = mailhelper::Body(SafeMailItem);
            const TextView html = sHTMLBody.bstr.view();
            if (html.empty() || platform::containsLowered(html, kConvertedFromText)) {
                myMessage.current = &sPlainBody.bstr;
                ContentType = u"text/plain";
            } else {
                myMessage.current = &sHTMLBody.bstr;
                ContentType = u"text/html";
            }

            // Signature lines; nothing here may end the call. When an
            // attachment cannot be signed, its line carries the signature of
            // the one signed before. An attachment whose size cannot be read
            // gets no line and no signature: it cannot be shown to be small.
            // When the collection cannot be had or walked, the lines gathered
            // so far stand.
            sAttachments.clear();
            ignoringFailure([&] {
                forEach(mailhelper::Attachments(SafeMailItem), [&](const Variant& item) {
                    // An element that is no object gets no line either.
                    if (!ignoringFailure([&] { Element = asObject(*item); }) || !Element) return;
                    double size = 0;
                    if (!ignoringFailure([&] { size = asDouble(*Element.call(u"Size")); })) return;
                    if (size >= kSignedBelowBytes) return;
                    ignoringFailure([&] {
                        const Text mimeTag = asText(*Element.call(u"Fields", {Variant::i4(PR_ATTACH_MIME_TAG)}));
                        const Text content = asText(*Element.call(u"AsText"));
                        FileSign = spamclient::SignAttachment(SpamClientCOM, mimeTag, content);
                    });
                    sAttachments += kSignatureHeader;
                    sAttachments += InstallationID;
                    sAttachments += u' ';
                    sAttachments += FileSign;
                    sAttachments += kCrLf;
                });
                Element = nullptr;
            });

            sNewHeader = RewriteHeader(sOrgHeader, ContentType, header);
            sSplitHeader = {&sOrgHeader, &ContentType};
            sNewHeader += sAttachments;
            if (!myMessage.view().empty()) {
                myMessage.prepared = spamclient::PrepareBody(SpamClientCOM, *myMessage.current);
                myMessage.current = &myMessage.prepared;
            }

            // The one copy of the body the component makes.
            const TextView body = myMessage.view();
            result.reserve(sNewHeader.size() + 2 + body.size());
            result.append(sNewHeader).append(kCrLf).append(body);
            return std::move(result);
        });
}

}  // namespace kw
