#include "errorcapture/frame.h"

#include "core/safearray.h"

namespace kw {

namespace {
thread_local Procedure* tInnermost = nullptr;
// The failure a resumed procedure reports; set just before the resume.
thread_local RuntimeError* tResumedWith = nullptr;
}  // namespace

Procedure::Armed::Armed(Procedure& p) noexcept : procedure_(p) {
    p.outer_ = tInnermost;
    tInnermost = &p;
}

Procedure::Armed::~Armed() { tInnermost = const_cast<Procedure*>(procedure_.outer_); }

RuntimeError Procedure::Armed::resumedAfterFault() noexcept {
    RuntimeError failure = *tResumedWith;
    delete tResumedWith;
    tResumedWith = nullptr;
    return failure;
}

const Procedure* Procedure::innermost() noexcept { return tInnermost; }

bool Procedure::resumeInnermost(const RuntimeError& failure) noexcept {
    Procedure* target = tInnermost;
    if (target == nullptr) return false;
    delete tResumedWith;
    tResumedWith = new (std::nothrow) RuntimeError(failure);
    if (tResumedWith == nullptr) return false;
    // The procedures the resume skips never disarm themselves; the target is
    // disarmed too, so that should its block overflow the stack again, the
    // next procedure out takes the fault.
    tInnermost = const_cast<Procedure*>(target->outer_);
    platform::recoverAt(target->recovery_);
}

Variant reportValue(bool v) { return Variant::boolean(v); }
Variant reportValue(std::int16_t v) { return Variant::i2(v); }
Variant reportValue(std::int32_t v) { return Variant::i4(v); }
Variant reportValue(double v) { return Variant::r8(v); }
Variant reportValue(const Text& v) { return Variant::text(v); }
Variant reportValue(const Variant& v) { return v; }
Variant reportValue(const std::vector<Text>& v) { return textArray(v); }
Variant reportValue(const std::optional<std::vector<Text>>& v) { return v ? textArray(*v) : Variant(); }

}  // namespace kw
