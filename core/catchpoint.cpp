#include "core/catchpoint.h"

#include <new>

#if defined(__GLIBCXX__) && !defined(_WIN32)
#include <cxxabi.h>
#endif

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

OutsideComponent::OutsideComponent() noexcept : saved_(tInnermost) { tInnermost = nullptr; }

OutsideComponent::~OutsideComponent() { tInnermost = saved_; }

RuntimeError currentFailure() {
    try {
        throw;
    } catch (const RuntimeError& failure) {
        return failure;
    } catch (const std::bad_alloc&) {
        return RuntimeError(err::OutOfMemory, describeError(err::OutOfMemory), kDefaultSource, 0);
#if defined(__GLIBCXX__) && !defined(_WIN32)
    } catch (abi::__forced_unwind&) {
        throw;
#endif
    } catch (...) {
        return RuntimeError(err::InternalError, describeError(err::InternalError), kDefaultSource, 0);
    }
}

void raiseReleaseFault() {
    if (std::exception_ptr fault = platform::takeReleaseFault()) std::rethrow_exception(fault);
}

}  // namespace kw
