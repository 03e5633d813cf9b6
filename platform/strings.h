// Text and BSTR. The component's text type is UTF-16 (std::u16string) on
// every platform; Bstr owns a BSTR and converts at the boundary.
#pragma once

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "platform/com.h"

namespace platform {

using Text = std::u16string;
using TextView = std::u16string_view;

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "OLECHAR is a UTF-16 code unit");

// The characters of a BSTR (a null BSTR is empty text). U+0000 inside the
// text is kept: the length prefix, not the terminator, decides.
inline Text textOf(BSTR b) {
    Text t(SysStringLen(b), u'\0');
    if (!t.empty()) std::memcpy(t.data(), b, t.size() * sizeof(char16_t));
    return t;
}

// The text without the spaces at its two ends: the space character only,
// never tabs or other white space.
constexpr TextView trimSpaces(TextView text) noexcept {
    const std::size_t first = text.find_first_not_of(u' ');
    if (first == TextView::npos) return {};
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

// A NUL-terminated OLECHAR view of text, for API calls that take LPCOLESTR.
inline const OLECHAR* ole(const Text& t) noexcept { return reinterpret_cast<const OLECHAR*>(t.c_str()); }

// A new BSTR holding the text; throws std::bad_alloc when none can be had.
inline BSTR allocBstr(TextView t) {
    BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(t.data()), static_cast<UINT>(t.size()));
    if (b == nullptr && !t.empty()) throw std::bad_alloc();
    if (b == nullptr) b = SysAllocStringLen(nullptr, 0);
    if (b == nullptr) throw std::bad_alloc();
    return b;
}

// UTF-8 forms of text, for files, logs and messages on the console. Invalid
// UTF-8 reads as U+FFFD.
std::string toUtf8(TextView text);
Text fromUtf8(std::string_view bytes);

class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(TextView t) : b_(allocBstr(t)) {}
    Bstr(const Bstr& other) : b_(other.b_ == nullptr ? nullptr : allocBstr(other.view())) {}
    Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr& operator=(Bstr other) noexcept {
        std::swap(b_, other.b_);
        return *this;
    }

    static Bstr attach(BSTR b) noexcept {
        Bstr r;
        r.b_ = b;
        return r;
    }

    BSTR get() const noexcept { return b_; }
    BSTR* put() noexcept {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }
    BSTR detach() noexcept { return std::exchange(b_, nullptr); }
    UINT length() const noexcept { return SysStringLen(b_); }
    TextView view() const noexcept {
        return b_ == nullptr ? TextView() : TextView(reinterpret_cast<const char16_t*>(b_), length());
    }
    Text text() const { return textOf(b_); }

private:
    BSTR b_ = nullptr;
};

}  // namespace platform
