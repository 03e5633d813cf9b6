// The base of stand-ins reached by member name: a table of members answered
// through IDispatch, every call logged as "Component.Member(args)", failures
// on demand, a type name from its type information, and reference counting
// that the tests check.
#pragma once

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

class DispatchObject : public IDispatch, public ISupportErrorInfo, public Counted {
public:
    using Handler = std::function<Variant(const std::vector<Variant>& args)>;
    using Setter = std::function<void(const Variant& value)>;

    // component: the name the log shows ("Folder"); name: this object's own
    // name ("Inbox"), for failures planned on one object; typeName: what its
    // type information calls the type.
    DispatchObject(std::string component, std::string name, Text typeName);

    const std::string& component() const { return component_; }
    const std::string& name() const { return name_; }
    void rename(std::string name) { name_ = std::move(name); }
    // The stand-in behind an interface pointer handed out by one of them.
    static DispatchObject* from(IUnknown* unknown);

    // Further interfaces (by IID) this object answers with its IDispatch.
    void answers(const IID& iid) { interfaces_.push_back(iid); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

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
        if (p_ != nullptr) p_->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// A variant holding a new reference to a stand-in (Nothing for null).
Variant objectVariant(DispatchObject* object);
Variant textVariant(const Text& text);

}  // namespace standins
