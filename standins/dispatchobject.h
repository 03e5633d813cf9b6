// The base of stand-ins reached by member name: a table of members answered
// through IDispatch, every call logged as "Component.Member(args)", failures
// on demand, a type name from its type information, and reference counting
// that the tests check.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/variant.h"
#include "standins/recorder.h"

namespace standins {

using platform::ComPtr;
using platform::Variant;

// Thrown by a member handler to fail the call with an HRESULT.
struct Refusal {
    HRESULT hr;
};

// How a call log shows one argument.
std::string describe(const VARIANT& v);
std::string describeAll(const std::vector<Variant>& args);

// Reference counting shared by every stand-in class; each live object counts
// in liveObjects().
class Counted {
public:
    Counted() { ++liveObjects(); }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    virtual ~Counted() { --liveObjects(); }
    ULONG addRef() { return ++refs_; }
    ULONG release() {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    ULONG refCount() const { return refs_; }

private:
    ULONG refs_ = 1;
};

// The work of a stand-in reached by name, whatever Outlook interface it
// stands for; DispatchObject<I> below gives it its COM face.
class DispatchCore : public Counted {
public:
    using Handler = std::function<Variant(const std::vector<Variant>& args)>;
    using Setter = std::function<void(const Variant& value)>;

    // component: the name the log shows ("Folder"); name: this object's own
    // name ("Inbox"), for failures planned on one object; typeName: what its
    // type information calls the type.
    DispatchCore(std::string component, std::string name, Text typeName);

    const std::string& component() const { return component_; }
    const std::string& name() const { return name_; }
    void rename(std::string name) { name_ = std::move(name); }
    // The stand-in behind an interface pointer handed out by one of them.
    static DispatchCore* from(IUnknown* unknown);
    // This object's IDispatch (its interface I, which derives from it).
    virtual IDispatch* dispatch() = 0;

    // Further interfaces (by IID) this object answers with its interface.
    void answers(const IID& iid) { interfaces_.push_back(iid); }

    HRESULT queryInterface(REFIID riid, void** ppv);
    HRESULT typeInfoCount(UINT* count);
    HRESULT typeInfo(UINT index, ITypeInfo** info);
    HRESULT idsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
    HRESULT invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo);
    HRESULT supportsErrorInfo(REFIID riid);

protected:
    // A member answered for a method call and a property read.
    void method(const char16_t* name, Handler handler);
    // A property with a getter and, optionally, a setter.
    void property(const char16_t* name, Handler getter, Setter setter = {});
    // The default member (DISPID_VALUE).
    void defaultValue(Handler getter);
    // A collection: _NewEnum, also through the evaluate probe (DISPID -5 with
    // the argument "_NewEnum"), enumerates a snapshot of items().
    void collection(std::function<std::vector<Variant>()> items);

private:
    struct Member {
        Text name;
        DISPID id;
        Handler get;
        Setter put;
    };
    virtual ISupportErrorInfo* errorInfoSupport() = 0;
    const Member* find(DISPID id) const;
    std::string key(const Text& member) const;
    std::string namedKey(const Text& member) const;

    std::string component_;
    std::string name_;
    Text typeName_;
    std::vector<IID> interfaces_;
    std::vector<Member> members_;
    std::function<std::vector<Variant>()> items_;
};

// A stand-in whose COM face is the interface I (IDispatch, or an Outlook
// interface derived from it, so that a pointer handed out for that
// interface's IID really is one).
template <class I = IDispatch>
class DispatchObject : public I, public ISupportErrorInfo, public DispatchCore {
public:
    using DispatchCore::DispatchCore;

    IDispatch* dispatch() override { return static_cast<I*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return queryInterface(riid, ppv); }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return typeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override { return typeInfo(index, info); }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return idsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excepInfo, UINT*) override {
        return invoke(id, flags, params, result, excepInfo);
    }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override { return supportsErrorInfo(riid); }

private:
    ISupportErrorInfo* errorInfoSupport() override { return this; }
};

// Type information that knows only the type's name.
ComPtr<ITypeInfo> makeTypeInfo(Text typeName);

// An IEnumVARIANT over a snapshot of variants.
ComPtr<IEnumVARIANT> makeEnumerator(std::vector<Variant> items);

// Keeps a stand-in alive for the environment and hands out references.
template <class T>
class Owned {
public:
    Owned() = default;
    explicit Owned(T* fresh) : p_(fresh) {}
    Owned(Owned&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Owned() {
        if (p_ != nullptr) p_->release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// A member handler's arguments as the member needs them: a missing one is
// refused with DISP_E_PARAMNOTOPTIONAL, one that does not convert (or an
// object that is not a stand-in of type T) with DISP_E_TYPEMISMATCH.
std::int32_t intArg(const std::vector<Variant>& args, std::size_t i);
Text textArg(const std::vector<Variant>& args, std::size_t i);
bool present(const std::vector<Variant>& args, std::size_t i);  // given, and not left out
template <class T>
T* objectArg(const std::vector<Variant>& args, std::size_t i) {
    if (i >= args.size()) throw Refusal{DISP_E_PARAMNOTOPTIONAL};
    const VARIANT& v = platform::throughVariantRefs(*args[i].get());
    auto* object = dynamic_cast<T*>(DispatchCore::from(v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN ? v.punkVal : nullptr));
    if (object == nullptr) throw Refusal{DISP_E_TYPEMISMATCH};
    return object;
}

// A variant holding a new reference to a stand-in (Nothing for null).
Variant objectVariant(DispatchCore* object);
Variant textVariant(const Text& text);

}  // namespace standins
