// The run-time error that travels through the component's procedures: a
// number, a description, a source and the source line of the failing
// statement. Procedures throw it; error blocks catch it; the COM boundary
// turns it into an HRESULT plus error information.
//
// Numbers and HRESULTs:
//  - An HRESULT of facility 0x0A (FACILITY_CONTROL, 0x800Axxxx) carries a
//    run-time error number in its low 16 bits: 0x800AFFFF is error 65535.
//  - Any other failing HRESULT becomes its own signed 32-bit value as the
//    number: E_FAIL (0x80004005) is error -2147467259.
//  - Back at the boundary, a number from 1 to 65535 becomes 0x800Annnn and a
//    negative number is the HRESULT it came from.
#pragma once

#include <cstdint>
#include <exception>
#include <utility>

#include "platform/strings.h"

namespace kw {

using platform::Text;
using platform::TextView;

// The source line of a statement, taken where a helper is called:
// `void helper(..., Site at = Site::here())` records the caller's line.
struct Site {
    std::uint_least32_t line = 0;
    static constexpr Site here(std::uint_least32_t line = __builtin_LINE()) noexcept { return Site{line}; }
    static constexpr Site none() noexcept { return Site{0}; }
};

// Run-time error numbers the component raises itself.
namespace err {
constexpr std::int32_t InvalidCall = 5;
constexpr std::int32_t Overflow = 6;
constexpr std::int32_t OutOfMemory = 7;
constexpr std::int32_t SubscriptOutOfRange = 9;
constexpr std::int32_t TypeMismatch = 13;
constexpr std::int32_t InternalError = 51;
constexpr std::int32_t ObjectNotSet = 91;
constexpr std::int32_t InvalidUseOfNull = 94;
constexpr std::int32_t ObjectRequired = 424;
constexpr std::int32_t NoSuchMember = 438;
constexpr std::int32_t ArgumentNotOptional = 449;
constexpr std::int32_t RaisedByErrorBlock = 65535;
}  // namespace err

// The source given to errors that name none.
inline constexpr char16_t kDefaultSource[] = u"KWOLFunc";

class RuntimeError : public std::exception {
public:
    RuntimeError(std::int32_t number, Text description, Text source, std::int32_t line)
        : number_(number), description_(std::move(description)), source_(std::move(source)), line_(line) {}

    std::int32_t number() const noexcept { return number_; }
    const Text& description() const noexcept { return description_; }
    const Text& source() const noexcept { return source_; }
    std::int32_t line() const noexcept { return line_; }
    const char* what() const noexcept override { return "run-time error"; }

private:
    std::int32_t number_;
    Text description_;
    Text source_;
    std::int32_t line_;
};

// The standard description of a run-time error number; for a number that is
// an HRESULT, the system's message for it.
Text describeError(std::int32_t number);

std::int32_t errorNumberFromHResult(HRESULT hr) noexcept;
HRESULT hresultFromErrorNumber(std::int32_t number) noexcept;

// Raises run-time error `number`; an empty description takes the standard one.
[[noreturn]] void raise(std::int32_t number, Site at = Site::here(), Text description = {},
                        Text source = kDefaultSource);

// Raises the run-time error for a failing HRESULT returned by `callee`
// through interface `iid`, with the description and source from the callee's
// error information when it offers some.
[[noreturn]] void raiseFromHResult(HRESULT hr, IUnknown* callee, const IID& iid, Site at);

// Checks the HRESULT of a call on an interface of the component's own
// conversions or of the platform, which carry no error information.
inline void check(HRESULT hr, Site at = Site::here()) {
    if (FAILED(hr)) raiseFromHResult(hr, nullptr, IID_NULL, at);
}

// Sets the thread's error information (source, description, interface) for
// the caller of a public method and gives the HRESULT of error.
HRESULT reportToCaller(const RuntimeError& error, const IID& iid) noexcept;

}  // namespace kw
