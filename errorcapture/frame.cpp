#include "errorcapture/frame.h"

#include "core/safearray.h"

namespace kw {

namespace {
thread_local const Procedure* tInnermost = nullptr;
}

Procedure::Armed::Armed(Procedure& p) noexcept : procedure_(p) {
    p.outer_ = tInnermost;
    tInnermost = &p;
}

Procedure::Armed::~Armed() { tInnermost = procedure_.outer_; }

const Procedure* Procedure::innermost() noexcept { return tInnermost; }

Variant reportValue(bool v) { return Variant::boolean(v); }
Variant reportValue(std::int16_t v) { return Variant::i2(v); }
Variant reportValue(std::int32_t v) { return Variant::i4(v); }
Variant reportValue(double v) { return Variant::r8(v); }
Variant reportValue(const Text& v) { return Variant::text(v); }
Variant reportValue(const Variant& v) { return v; }
Variant reportValue(const std::vector<Text>& v) { return textArray(v); }

}  // namespace kw
