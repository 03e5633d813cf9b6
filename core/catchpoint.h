// Where the component takes failures, and how any failure becomes a run-time
// error.
//
// A catch point is a place that takes a failure: the error block of a running
// procedure, a step whose failures are ignored, or the boundary of a public
// call. While one exists the thread is inside the component, and processor
// faults are the component's to take. A fault is thrown from the faulting
// instruction; only a stack overflow resumes the innermost catch point's
// recovery point instead.
//
// takeFailure() is the one way a catch point takes what it caught:
//
//   std::optional<RuntimeError> failure = takeFailure([&] { body(); });
//
// It runs the body under a new catch point and returns the failure that left
// it, converted to a run-time error, or nothing. Nothing of the failure's
// handling runs inside a C++ catch handler, so a fault while handling it
// (a report, a message box) never leaves an exception registered.
#pragma once

#include <optional>
#include <variant>
#include <type_traits>
#include <utility>

#include "core/runtimeerror.h"
#include "platform/faults.h"

namespace kw {

class CatchPoint {
public:
    CatchPoint() noexcept;
    ~CatchPoint();
    CatchPoint(const CatchPoint&) = delete;
    CatchPoint& operator=(const CatchPoint&) = delete;

    // Set with KW_SET_RECOVERY where the failure is to be taken.
    platform::RecoveryPoint recovery;
    // After a resume here: the failure that brought the thread here.
    RuntimeError resumed() noexcept;

    // Whether the thread is inside the component: some catch point exists.
    static bool any() noexcept;
    // Hands failure to the innermost catch point and returns where the
    // thread must resume to take it; null when there is none, or no memory
    // to hold the failure.
    static platform::RecoveryPoint* resumeInnermost(const RuntimeError& failure) noexcept;

private:
    friend class OutsideComponent;
    CatchPoint* outer_;
};

// While it lives the thread counts as outside the component: a fault in code
// that runs meanwhile is not the component's (the message box's loop runs
// the host's own window code).
class OutsideComponent {
public:
    OutsideComponent() noexcept;
    ~OutsideComponent();
    OutsideComponent(const OutsideComponent&) = delete;
    OutsideComponent& operator=(const OutsideComponent&) = delete;

private:
    CatchPoint* saved_;
};

// The failure being handled, as a run-time error: a RuntimeError as it is,
// running out of memory as error 7, any other exception as error 51
// (internal error). Call only inside a catch handler. A forced unwind (a
// thread being cancelled) is not a failure and goes on.
RuntimeError currentFailure();

// Raises a fault kept from a release in a destructor, if there is one.
void raiseReleaseFault();

// What a body gives back: its value, or nothing for a void body.
template <class Body>
using BodyValue = std::conditional_t<std::is_void_v<std::invoke_result_t<Body&>>, std::monostate,
                                     std::invoke_result_t<Body&>>;

// Runs body under a catch point. Returns the failure that left it (or a
// fault kept from a release meanwhile), or nothing when it completed, in
// which case its value is in `value`.
template <class Body>
std::optional<RuntimeError> takeFailure(Body&& body, std::optional<BodyValue<Body>>& value) {
    std::optional<RuntimeError> failure;
    CatchPoint point;
    if (KW_SET_RECOVERY(point.recovery) != 0) {
        failure.emplace(point.resumed());
        (void)platform::takeReleaseFault();
        return failure;
    }
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
            body();
            value.emplace();
        } else {
            value.emplace(body());
        }
        raiseReleaseFault();
    } catch (...) {
        value.reset();
        failure.emplace(currentFailure());
        // The first failure stands: a fault kept from a release while it
        // unwound the body is not raised after it.
        (void)platform::takeReleaseFault();
    }
    return failure;
}

template <class Body>
std::optional<RuntimeError> takeFailure(Body&& body) {
    std::optional<BodyValue<Body>> unused;
    return takeFailure(std::forward<Body>(body), unused);
}

// Runs one step with failures ignored: a run-time error (or a fault) inside it
// ends the step without a report and the caller goes on. True when the step
// completed.
template <class Step>
bool ignoringFailure(Step&& step) {
    // A fault kept from a release before the step is not the step's.
    raiseReleaseFault();
    return !takeFailure(std::forward<Step>(step)).has_value();
}

// The COM boundary: runs body, maps a failure to its HRESULT and sets the
// thread's error information for the caller. Nothing escapes.
template <class Body>
HRESULT comBoundary(const IID& iid, Body&& body) noexcept {
    try {
        const std::optional<RuntimeError> failure = takeFailure(std::forward<Body>(body));
        return failure ? reportToCaller(*failure, iid) : S_OK;
    } catch (...) {
        // Only taking the failure itself can get here (no memory for it).
        return E_OUTOFMEMORY;
    }
}

}  // namespace kw
