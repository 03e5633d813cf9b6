// The host's .eml loader (standins/eml.h) over arbitrary bytes, written to a
// file of this process's own. Whatever the bytes, it loads them or says why
// not; what it loads is well-formed UTF-16 (no lone surrogates), the header
// block is empty or ends with a line end, an attachment's size is the length of its
// content, and that content holds one byte per character.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "outside/mailhelper.h"
#include "standins/eml.h"

namespace {

using platform::Text;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool wellFormed(const Text& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

const std::string& scratchFile() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("kw_eml_fuzz_" + std::to_string(::getpid()) + ".eml")).string();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    {
        standins::OutlookWorld world;
        standins::MailItem* mail = world.addMail(world.defaultFolder(6));
        const std::string problem = standins::loadEml(scratchFile(), *mail);
        if (problem.empty()) {
            const platform::Variant& header = mail->properties.at(kw::mailhelper::PR_HEADERS);
            require(header.type() == VT_BSTR);
            const Text headerText = platform::textOf(header.get()->bstrVal);
            require(headerText.empty() || (headerText.size() >= 2 && headerText.compare(headerText.size() - 2, 2, u"\r\n") == 0));
            require(wellFormed(headerText));
            require(wellFormed(platform::textOf(mail->properties.at(kw::mailhelper::PR_SUBJECT).get()->bstrVal)));
            require(wellFormed(mail->body) && wellFormed(mail->htmlBody));
            for (const standins::Attachment& a : mail->attachments) {
                require(a.size >= 0 && static_cast<std::size_t>(a.size) == a.content.size());
                require(wellFormed(a.mimeTag));
                for (char16_t c : a.content) require(c < 0x100);
            }
        } else {
            require(problem.find('\n') == std::string::npos);
        }
    }
    require(standins::liveObjects().load() == 0);
    return 0;
}
