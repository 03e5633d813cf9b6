#include "standins/eml.h"

#include <gmime/gmime.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

#include "outside/mailhelper.h"

namespace standins {

namespace {

struct GObjectRelease {
    void operator()(void* object) const { if (object) g_object_unref(object); }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectRelease>;

// Text from bytes meant as UTF-8: anything that is not well-formed UTF-8
// (stray 8-bit bytes, encoded surrogates) becomes U+FFFD, so no text handed
// on holds a lone surrogate.
Text utf8Text(std::string_view bytes) {
    char* valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    Text text = platform::fromUtf8(valid);
    g_free(valid);
    return text;
}

// The header block up to and including the blank line that ends it, every
// line end made CR LF. A file without a blank line is all header.
Text headerBlock(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() < 65536 ? bytes.size() : 65536);
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find('\n', at);
        std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
        std::size_t stop = end == std::string::npos ? bytes.size() : end;
        if (stop > at && bytes[stop - 1] == '\r') --stop;
        out.append(bytes, at, stop - at);
        out += "\r\n";
        if (stop == at) break;  // the blank line
        at = next;
    }
    return utf8Text(out);
}

// Decoded bytes of a part's content.
std::string decodedBytes(GMimePart* part) {
    GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
    if (!wrapper) return {};
    GPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(wrapper, stream.get());
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

// Binary content keeps every byte, one character per byte.
Text bytesAsText(const std::string& bytes) {
    Text text;
    text.reserve(bytes.size());
    for (unsigned char c : bytes) text.push_back(static_cast<char16_t>(c));
    return text;
}

struct Walk {
    MailItem* mail;
    bool haveText = false, haveHtml = false;
};

void visit(GMimeObject*, GMimeObject* object, gpointer data) {
    auto* walk = static_cast<Walk*>(data);
    if (!GMIME_IS_PART(object)) return;
    GMimePart* part = GMIME_PART(object);
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const bool text = GMIME_IS_TEXT_PART(object) && !g_mime_part_is_attachment(part);
    if (text && g_mime_content_type_is_type(type, "text", "plain") && !walk->haveText) {
        char* decoded = g_mime_text_part_get_text(GMIME_TEXT_PART(object));
        walk->mail->body = utf8Text(decoded ? decoded : "");
        g_free(decoded);
        walk->haveText = true;
    } else if (text && g_mime_content_type_is_type(type, "text", "html") && !walk->haveHtml) {
        char* decoded = g_mime_text_part_get_text(GMIME_TEXT_PART(object));
        walk->mail->htmlBody = utf8Text(decoded ? decoded : "");
        g_free(decoded);
        walk->haveHtml = true;
    } else if (g_mime_part_is_attachment(part) || !text) {
        char* mime = g_mime_content_type_get_mime_type(type);
        std::string bytes = decodedBytes(part);
        walk->mail->attachments.push_back(
            Attachment{static_cast<std::int32_t>(bytes.size()), utf8Text(mime), bytesAsText(bytes)});
        g_free(mime);
    }
}

}  // namespace

std::string loadEml(const std::string& path, MailItem& mail) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot read " + path;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static const bool ready = (g_mime_init(), true);
    (void)ready;

    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message) return path + " is not a mail message";

    mail.properties[kw::mailhelper::PR_HEADERS] = Variant::text(headerBlock(bytes));
    const char* subject = g_mime_message_get_subject(message.get());
    mail.properties[kw::mailhelper::PR_SUBJECT] = Variant::text(utf8Text(subject ? subject : ""));
    // Sent as the first mailbox of From, received for the first of To.
    const std::pair<std::int32_t, std::int32_t> parties[] = {
        {kw::mailhelper::PR_SENT_REPRESENTING_ADDRTYPE, kw::mailhelper::PR_SENT_REPRESENTING_EMAIL_ADDRESS},
        {kw::mailhelper::PR_RCVD_REPRESENTING_ADDRTYPE, kw::mailhelper::PR_RCVD_REPRESENTING_EMAIL_ADDRESS}};
    InternetAddressList* lists[] = {g_mime_message_get_from(message.get()), g_mime_message_get_to(message.get())};
    for (int i = 0; i < 2; ++i) {
        InternetAddress* first = lists[i] && internet_address_list_length(lists[i]) > 0
                                     ? internet_address_list_get_address(lists[i], 0) : nullptr;
        if (first == nullptr || !INTERNET_ADDRESS_IS_MAILBOX(first)) continue;
        const char* address = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(first));
        mail.properties[parties[i].first] = Variant::text(u"SMTP");
        mail.properties[parties[i].second] = Variant::text(utf8Text(address ? address : ""));
    }
    mail.file = path;
    Walk walk{&mail};
    g_mime_message_foreach(message.get(), visit, &walk);
    return {};
}

}  // namespace standins
