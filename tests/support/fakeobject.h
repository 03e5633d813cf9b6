// The tests' own automation object and its enumerator, for the variable dump
// and the faults inside error blocks.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/variant.h"
#include "support/fake.h"

namespace kwtest {

using platform::ComPtr;
using platform::Text;
using platform::Variant;

// A processor fault on purpose: out of line and out of the sanitizers' sight,
// so that it happens in a function the faulting code calls.
inline int* volatile gNowhere = nullptr;
__attribute__((noinline, no_sanitize("undefined"))) inline void writeThrough(int* target) { *target = 1; }

// An automation object: its type name (or no type information), its answers
// to the _NewEnum probe and to DISPID_NEWENUM, and, as a collection, its
// items (one of which may be the object itself) and the item at which
// enumeration fails, with an error or a processor fault. Its release faults
// once when armed.
class FakeObject : public Fake<IDispatch> {
public:
    // What the object answers to the probe and to a request for _NewEnum.
    enum class Answer { Refuse, Empty, Enumerator, PlainObject };

    std::optional<Text> typeName;
    Answer probe = Answer::Refuse;
    Answer newEnum = Answer::Refuse;
    std::vector<Variant> items;
    std::optional<std::size_t> selfAt;
    std::optional<std::size_t> failAt;
    HRESULT failure = E_FAIL;
    bool faultInstead = false;
    bool faultOnRelease = false;

    std::vector<DISPID> invoked;
    std::vector<Text> probeArguments;

    static ComPtr<FakeObject> make(std::optional<Text> name, Answer probe = Answer::Refuse) {
        auto object = ComPtr<FakeObject>::attach(new FakeObject);
        object->typeName = std::move(name);
        object->probe = probe;
        return object;
    }
    Variant variant() { return Variant::dispatch(this); }

    ULONG STDMETHODCALLTYPE Release() override {
        if (std::exchange(faultOnRelease, false)) {
            release();  // the reference is gone all the same
            writeThrough(gNowhere);
        }
        return release();
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override {
        ADD_FAILURE() << "unexpected GetTypeInfoCount";
        return E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        EXPECT_EQ(index, 0u);
        *info = nullptr;
        if (!typeName) return TYPE_E_ELEMENTNOTFOUND;
        *info = standins::makeTypeInfo(*typeName).detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        ADD_FAILURE() << "unexpected GetIDsOfNames";
        return E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                     UINT*) override;

private:
    FakeObject() = default;
};

class FakeEnum : public Fake<IEnumVARIANT> {
public:
    explicit FakeEnum(FakeObject* owner) : owner_(ComPtr<FakeObject>::share(owner)), items_(owner->items) {
        if (owner->selfAt) items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(*owner->selfAt), owner->variant());
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* item, ULONG* fetched) override {
        EXPECT_EQ(count, 1u);
        *fetched = 0;
        if (owner_->failAt == next_) {
            if (owner_->faultInstead) writeThrough(gNowhere);
            return owner_->failure;
        }
        if (next_ >= items_.size()) return S_FALSE;
        *item = Variant(items_[next_++]).detach();
        *fetched = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return unexpected("Skip"); }
    HRESULT STDMETHODCALLTYPE Reset() override { return unexpected("Reset"); }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return unexpected("Clone"); }

private:
    static HRESULT unexpected(const char* member) {
        ADD_FAILURE() << "unexpected IEnumVARIANT::" << member;
        return E_UNEXPECTED;
    }

    ComPtr<FakeObject> owner_;
    std::vector<Variant> items_;
    std::size_t next_ = 0;
};

inline HRESULT FakeObject::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
    invoked.push_back(id);
    Answer answer = Answer::Refuse;
    if (id == DISPID_EVALUATE) {
        EXPECT_EQ(params->cNamedArgs, 0u);
        for (UINT i = 0; i < params->cArgs; ++i)
            probeArguments.push_back(params->rgvarg[i].vt == VT_BSTR ? platform::textOf(params->rgvarg[i].bstrVal)
                                                                     : Text(u"(not text)"));
        answer = probe;
    } else if (id == DISPID_NEWENUM) {
        answer = newEnum;
    }
    switch (answer) {
        case Answer::Refuse: return DISP_E_MEMBERNOTFOUND;
        case Answer::Empty: return S_OK;
        case Answer::Enumerator:
            result->vt = VT_UNKNOWN;
            result->punkVal = static_cast<IEnumVARIANT*>(new FakeEnum(this));
            return S_OK;
        case Answer::PlainObject:
            result->vt = VT_DISPATCH;
            result->pdispVal = make(u"Plain").detach();
            return S_OK;
    }
    return E_UNEXPECTED;
}

// A collection of the given items that answers the probe with its enumerator.
inline ComPtr<FakeObject> collection(std::vector<Variant> items, Text name = u"Folders") {
    ComPtr<FakeObject> object = FakeObject::make(std::move(name), FakeObject::Answer::Enumerator);
    object->items = std::move(items);
    return object;
}

}  // namespace kwtest
