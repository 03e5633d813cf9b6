// Procedure frames: the error block of every procedure, declared in one place
// at the procedure's top.
//
//   std::int32_t GetThreshold(Site at) {
//       std::int32_t STresHold = 0;
//       return Procedure(modules::General, u"GetThreshold", at)
//           .locals({KW_VAR(STresHold)})
//           .run([&] { ... });
//   }
//
// A procedure of a class names its object instead of a module; the object's
// members then go into every report of the procedure:
//
//   Procedure(*this, u"MoveMessage", at).locals(...).params(...).run(...)
//
// The frame binds its parameters and locals by reference, so the values they
// hold when a failure passes through the frame are the ones reported. A
// failure leaving the body is handed to the error block (errorBlock), which
// runs once the body's catch point is gone, reports the failure and raises
// error 65535 to the caller; `at` is the caller's line, so the caller's own
// report names the statement that made the call.
//
// "Failures ignored" is written at the call site with ignoringFailure()
// (core/catchpoint.h).
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/automation.h"
#include "core/catchpoint.h"

namespace kw {

using platform::Boolean;

// The report form of each type the procedures' variables have. A type without
// one cannot be bound: there is no guessing (a pointer would otherwise read
// as a Boolean).
template <class T>
struct Reported;
template <>
struct Reported<bool> {
    static Variant value(bool v) { return Variant::boolean(v); }
};
template <>
struct Reported<Boolean> {
    static Variant value(Boolean v) { return Variant::boolean(v); }
};
template <>
struct Reported<std::int16_t> {
    static Variant value(std::int16_t v) { return Variant::i2(v); }
};
template <>
struct Reported<std::int32_t> {
    static Variant value(std::int32_t v) { return Variant::i4(v); }
};
template <>
struct Reported<double> {
    static Variant value(double v) { return Variant::r8(v); }
};
template <>
struct Reported<Text> {
    static Variant value(const Text& v) { return Variant::text(v); }
};
template <>
struct Reported<Variant> {
    static Variant value(const Variant& v) { return v; }
};
template <>
struct Reported<std::vector<Text>> {
    static Variant value(const std::vector<Text>& v);
};
// A list that may not have been assigned yet: Empty until it is.
template <>
struct Reported<std::optional<std::vector<Text>>> {
    static Variant value(const std::optional<std::vector<Text>>& v);
};
template <class I>
struct Reported<ComPtr<I>> {
    static Variant value(const ComPtr<I>& p) {
        if constexpr (std::is_base_of_v<IDispatch, I>) return Variant::dispatch(p.get());
        else return Variant::unknown(p.get());
    }
};

template <class T>
concept Reportable = requires(const T& v) {
    { Reported<T>::value(v) } -> std::same_as<Variant>;
};

// One named parameter or local variable of a procedure.
class Binding {
public:
    template <Reportable T>
    Binding(const char16_t* name, const T& variable) noexcept
        : name_(name), value_(&variable), read_(&readAs<T>) {}
    // A binding outlives the statement that makes it: never to a temporary.
    template <class T>
    Binding(const char16_t* name, const T&& temporary) = delete;

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
        return Reported<T>::value(*static_cast<const T*>(p));
    }

    const char16_t* name_;
    const void* value_ = nullptr;
    Variant (*read_)(const void*) = nullptr;
};

#define KW_VAR(variable) ::kw::Binding(u"" #variable, variable)
#define KW_EXTERNAL(variable) ::kw::Binding::external(u"" #variable)

// A module of free procedures, by the name its reports give it.
struct Module {
    explicit constexpr Module(const char16_t* moduleName) noexcept : name(moduleName) {}
    const char16_t* name;
};

namespace modules {
inline constexpr Module General{u"General"};
inline constexpr Module modStartup{u"modStartup"};
}  // namespace modules

// A class whose procedures carry frames: its module name, and the dump of
// its members for the module-variables part of every report.
template <class Owner>
concept HasModuleVariables = requires(const Owner& owner) {
    { Owner::kModuleName } -> std::convertible_to<const char16_t*>;
    { owner.DumpModuleVariables() } -> std::same_as<Text>;
};

class Procedure;

// The error block: reports the failure that left the procedure's body and
// raises what the caller receives. Defined by the error-capture module.
[[noreturn]] void errorBlock(const Procedure& procedure, const RuntimeError& failure);

class Procedure {
public:
    Procedure(const Module& module, const char16_t* name, Site caller) noexcept
        : module_(module.name), name_(name), caller_(caller) {}
    template <HasModuleVariables Owner>
    Procedure(const Owner& owner, const char16_t* name, Site caller) noexcept
        : module_(Owner::kModuleName), name_(name), caller_(caller), owner_(&owner),
          dumpMembers_([](const void* o) { return static_cast<const Owner*>(o)->DumpModuleVariables(); }) {}
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

    // Runs the body; a failure leaving it goes to the error block, which runs
    // after the body's catch point is removed and never inside a catch
    // handler.
    template <class Body>
    std::invoke_result_t<Body&> run(Body&& body) && {
        std::optional<BodyValue<Body>> value;
        if (const std::optional<RuntimeError> failure = takeFailure(body, value)) errorBlock(*this, *failure);
        if constexpr (!std::is_void_v<std::invoke_result_t<Body&>>) return std::move(*value);
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

}  // namespace kw
