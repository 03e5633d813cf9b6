// Procedure frames: the error block of every procedure, declared in one place
// at the procedure's top.
//
//   std::int32_t GetThreshold(Site at) {
//       std::int32_t STresHold = 0;
//       return Procedure(u"General", u"GetThreshold", at)
//           .locals({KW_VAR(STresHold)})
//           .run([&] { ... });
//   }
//
// The frame binds its parameters and locals by reference, so the values they
// hold when a failure passes through the frame are the ones reported. A
// run-time error leaving the body is handed to the error block (errorBlock),
// which reports it and raises error 65535 to the caller; `at` is the caller's
// line, so the caller's own report names the statement that made the call.
//
// "Failures ignored" is written at the call site with ignoringFailure().
#pragma once

#include <cstdint>
#include <initializer_list>
#include <new>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/automation.h"
#include "platform/faults.h"

namespace kw {

// The value a report shows for a variable of each type the procedures use.
Variant reportValue(bool v);
Variant reportValue(std::int16_t v);
Variant reportValue(std::int32_t v);
Variant reportValue(double v);
Variant reportValue(const Text& v);
Variant reportValue(const Variant& v);
Variant reportValue(const std::vector<Text>& v);
// A list that may not have been assigned yet: Empty until it is.
Variant reportValue(const std::optional<std::vector<Text>>& v);
template <class I>
Variant reportValue(const ComPtr<I>& p) {
    if constexpr (std::is_base_of_v<IDispatch, I>) return Variant::dispatch(p.get());
    else return Variant::unknown(p.get());
}

// One named parameter or local variable of a procedure.
class Binding {
public:
    template <class T>
    Binding(const char16_t* name, const T& value) noexcept : name_(name), value_(&value), read_(&readAs<T>) {}

    // A variable whose type comes from an outside type library and cannot be
    // dumped: the report shows a fixed text in its place.
    static Binding external(const char16_t* name) noexcept { return Binding(name); }

    const char16_t* name() const noexcept { return name_; }
    bool isExternal() const noexcept { return read_ == nullptr; }
    Variant read() const { return read_(value_); }

private:
    explicit Binding(const char16_t* name) noexcept : name_(name) {}
    template <class T>
    static Variant readAs(const void* p) {
        return reportValue(*static_cast<const T*>(p));
    }

    const char16_t* name_;
    const void* value_ = nullptr;
    Variant (*read_)(const void*) = nullptr;
};

#define KW_VAR(variable) ::kw::Binding(u"" #variable, variable)
#define KW_EXTERNAL(variable) ::kw::Binding::external(u"" #variable)

// A place that takes a failure: the error block of a running procedure, or a
// stretch whose failures are ignored. A fault handler that cannot throw (a
// stack overflow, on the signal stack) resumes the innermost one instead.
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
    CatchPoint* outer_;
};

class Procedure;

// The error block: reports the failure that left the procedure's body and
// raises what the caller receives. Defined by the error-capture module.
[[noreturn]] void errorBlock(const Procedure& procedure, const RuntimeError& failure);

class Procedure {
public:
    Procedure(const char16_t* module, const char16_t* name, Site caller) noexcept
        : module_(module), name_(name), caller_(caller) {}
    Procedure(const Procedure&) = delete;
    Procedure& operator=(const Procedure&) = delete;

    Procedure&& locals(std::initializer_list<Binding> bindings) && {
        locals_.assign(bindings);
        return std::move(*this);
    }
    Procedure&& params(std::initializer_list<Binding> bindings) && {
        params_.assign(bindings);
        return std::move(*this);
    }
    // The members of a class procedure's object, for the module-variables
    // part of its report; Owner provides DumpModuleVariables().
    template <class Owner>
    Procedure&& members(const Owner& owner) && {
        owner_ = &owner;
        dumpMembers_ = [](const void* o) { return static_cast<const Owner*>(o)->DumpModuleVariables(); };
        return std::move(*this);
    }

    template <class Body>
    decltype(auto) run(Body&& body) && {
        CatchPoint block;
        // A stack overflow deeper down cannot be thrown through; the fault
        // filter resumes here instead, with the failure waiting.
        if (KW_SET_RECOVERY(block.recovery) != 0) errorBlock(*this, block.resumed());
        try {
            return body();
        } catch (const RuntimeError& failure) {
            errorBlock(*this, failure);
        } catch (const std::bad_alloc&) {
            errorBlock(*this, RuntimeError(err::OutOfMemory, describeError(err::OutOfMemory), kDefaultSource, 0));
        }
    }

    const char16_t* module() const noexcept { return module_; }
    const char16_t* name() const noexcept { return name_; }
    Site caller() const noexcept { return caller_; }
    const std::vector<Binding>& localBindings() const noexcept { return locals_; }
    const std::vector<Binding>& paramBindings() const noexcept { return params_; }
    bool hasMembers() const noexcept { return dumpMembers_ != nullptr; }
    Text dumpMembers() const { return dumpMembers_(owner_); }

private:
    const char16_t* module_;
    const char16_t* name_;
    Site caller_;
    std::vector<Binding> locals_;
    std::vector<Binding> params_;
    const void* owner_ = nullptr;
    Text (*dumpMembers_)(const void*) = nullptr;
};

// Runs one step with failures ignored: a run-time error inside it ends the
// step without a report and the caller goes on. True when the step completed.
template <class Step>
bool ignoringFailure(Step&& step) {
    CatchPoint stretch;
    if (KW_SET_RECOVERY(stretch.recovery) != 0) {
        stretch.resumed();
        return false;
    }
    try {
        step();
        return true;
    } catch (const RuntimeError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace kw
