// The system's variant-to-text conversion held to the table the native build
// is tested against (tests/support/scalartext_cases.h), through the same
// helper the variable dump uses. Prints one line per case that disagrees and
// fails when any does.
#include <cstdio>
#include <string>

#include "core/automation.h"
#include "support/scalartext_cases.h"

namespace {

std::string shown(platform::TextView text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) out.push_back(static_cast<char>(c));
        else out += "\\u" + std::to_string(static_cast<unsigned>(c));
    }
    return out;
}

}  // namespace

int main() {
    int failures = 0, checked = 0;
    for (const kwtest::ScalarTextCase& c : kwtest::kScalarTextCases) {
        ++checked;
        platform::Text got;
        try {
            got = kw::asText(*kwtest::scalarOf(c));
        } catch (const kw::RuntimeError& e) {
            got = u"<error " + platform::fromUtf8(std::to_string(e.number())) + u">";
        }
        if (got == c.expected) continue;
        ++failures;
        std::printf("FAIL type %u bits 0x%016llx: expected \"%s\", the system wrote \"%s\"\n", c.type,
                    static_cast<unsigned long long>(c.bits), shown(c.expected).c_str(), shown(got).c_str());
    }
    ++checked;
    try {
        kw::asText(*platform::Variant::null());
        ++failures;
        std::printf("FAIL text from Null raised nothing\n");
    } catch (const kw::RuntimeError& e) {
        if (e.number() != 94) {
            ++failures;
            std::printf("FAIL text from Null raised %d\n", e.number());
        }
    }
    std::printf("%d passed, %d failed\n", checked - failures, failures);
    return failures == 0 ? 0 : 1;
}
