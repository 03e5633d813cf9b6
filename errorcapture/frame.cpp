#include "errorcapture/frame.h"

#include "core/safearray.h"

namespace kw {

namespace {
thread_local CatchPoint* tInnermost = nullptr;
// The failure a resumed catch point takes; set just before the resume.
thread_local RuntimeError* tResumedWith = nullptr;
}  // namespace

CatchPoint::CatchPoint() noexcept : outer_(tInnermost) { tInnermost = this; }

CatchPoint::~CatchPoint() { tInnermost = outer_; }

RuntimeError CatchPoint::resumed() noexcept {
    platform::recovered();
    RuntimeError failure = *tResumedWith;
    delete tResumedWith;
    tResumedWith = nullptr;
    return failure;
}

bool CatchPoint::any() noexcept { return tInnermost != nullptr; }

platform::RecoveryPoint* CatchPoint::resumeInnermost(const RuntimeError& failure) noexcept {
    CatchPoint* target = tInnermost;
    if (target == nullptr) return nullptr;
    delete tResumedWith;
    tResumedWith = new (std::nothrow) RuntimeError(failure);
    if (tResumedWith == nullptr) return nullptr;
    // The catch points the resume skips never leave the chain themselves;
    // the target leaves it too, so that should taking the failure overflow
    // the stack again, the next one out takes that fault.
    tInnermost = target->outer_;
    return &target->recovery;
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
