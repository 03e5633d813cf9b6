#include "standins/dispatchobject.h"

#include <cstring>

#include "platform/casefold.h"
#include "platform/guid.h"

namespace standins {

namespace {

// Asked for by DispatchObject::from: hands out the stand-in itself.
constexpr IID IID_StandIn = platform::makeGuid("5A1D0C3E-8E3B-4C57-9A0B-6E2F8C1D7B40");

class Enumerator final : public IEnumVARIANT, public Counted {
public:
    explicit Enumerator(std::vector<Variant> items) : items_(std::move(items)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
            *ppv = static_cast<IEnumVARIANT*>(this);
            addRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < count && next_ < items_.size(); ++n, ++next_) {
            VariantInit(&out[n]);
            VariantCopy(&out[n], const_cast<VARIANT*>(items_[next_].get()));
        }
        if (fetched != nullptr) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        next_ += count;
        return next_ <= items_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override {
        auto* e = new Enumerator(items_);
        e->next_ = next_;
        *copy = e;
        return S_OK;
    }

private:
    std::vector<Variant> items_;
    std::size_t next_ = 0;
};

constexpr DISPID kFirstMember = 1;

}  // namespace

std::string describe(const VARIANT& value) {
    const VARIANT& v = platform::throughVariantRefs(value);
    switch (v.vt) {
        case VT_EMPTY: return "Empty";
        case VT_NULL: return "Null";
        case VT_ERROR: return v.scode == DISP_E_PARAMNOTFOUND ? "missing" : "Error";
        case VT_BSTR: return standins::quoted(platform::textOf(v.bstrVal));
        case VT_BOOL: return v.boolVal ? "True" : "False";
        case VT_I2: return std::to_string(v.iVal);
        case VT_I4: return std::to_string(v.lVal);
        case VT_R8: {
            char b[40];
            std::snprintf(b, sizeof b, "%.15g", v.dblVal);
            return b;
        }
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            if (v.punkVal == nullptr) return "Nothing";
            if (DispatchCore* o = DispatchCore::from(v.punkVal))
                return o->name().empty() ? o->component() : o->component() + "(" + o->name() + ")";
            return "object";
        }
        default: return "vt" + std::to_string(v.vt);
    }
}

std::string describeAll(const std::vector<Variant>& args) {
    std::string out;
    for (const Variant& a : args) {
        if (!out.empty()) out += ", ";
        out += describe(*a.get());
    }
    return out;
}

namespace {

Variant converted(const std::vector<Variant>& args, std::size_t i, VARTYPE vt) {
    if (i >= args.size()) throw Refusal{DISP_E_PARAMNOTOPTIONAL};
    Variant v;
    if (FAILED(VariantChangeType(v.get(), const_cast<VARIANT*>(args[i].get()), 0, vt))) throw Refusal{DISP_E_TYPEMISMATCH};
    return v;
}

}  // namespace

std::int32_t intArg(const std::vector<Variant>& args, std::size_t i) { return converted(args, i, VT_I4).get()->lVal; }

Text textArg(const std::vector<Variant>& args, std::size_t i) {
    return platform::textOf(converted(args, i, VT_BSTR).get()->bstrVal);
}

bool present(const std::vector<Variant>& args, std::size_t i) {
    return i < args.size() && !(args[i].type() == VT_ERROR && args[i].get()->scode == DISP_E_PARAMNOTFOUND);
}

DispatchCore::DispatchCore(std::string component, std::string name, Text typeName)
    : component_(std::move(component)), name_(std::move(name)), typeName_(std::move(typeName)) {}

DispatchCore* DispatchCore::from(IUnknown* unknown) {
    if (unknown == nullptr) return nullptr;
    void* self = nullptr;
    if (FAILED(unknown->QueryInterface(IID_StandIn, &self)) || self == nullptr) return nullptr;
    auto* object = static_cast<DispatchCore*>(self);
    object->release();  // the caller holds its own reference to the object
    return object;
}

HRESULT DispatchCore::queryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_StandIn) {
        *ppv = static_cast<DispatchCore*>(this);
    } else if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *ppv = dispatch();
    } else if (riid == IID_ISupportErrorInfo) {
        *ppv = errorInfoSupport();
    } else {
        for (const IID& iid : interfaces_)
            if (iid == riid) *ppv = dispatch();
        if (*ppv == nullptr) return E_NOINTERFACE;
    }
    addRef();
    return S_OK;
}

HRESULT DispatchCore::typeInfoCount(UINT* count) {
    *count = 1;
    return S_OK;
}

HRESULT DispatchCore::typeInfo(UINT index, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    *info = makeTypeInfo(typeName_).detach();
    return S_OK;
}

HRESULT DispatchCore::supportsErrorInfo(REFIID riid) {
    if (riid == IID_IDispatch) return S_OK;
    for (const IID& iid : interfaces_)
        if (iid == riid) return S_OK;
    return S_FALSE;
}

void DispatchCore::method(const char16_t* name, Handler handler) {
    members_.push_back(Member{name, kFirstMember + static_cast<DISPID>(members_.size()), std::move(handler), {}});
}

void DispatchCore::property(const char16_t* name, Handler getter, Setter setter) {
    members_.push_back(
        Member{name, kFirstMember + static_cast<DISPID>(members_.size()), std::move(getter), std::move(setter)});
}

void DispatchCore::defaultValue(Handler getter) {
    members_.push_back(Member{u"[default]", DISPID_VALUE, std::move(getter), {}});
}

void DispatchCore::collection(std::function<std::vector<Variant>()> items) {
    items_ = std::move(items);
    auto enumerate = [this](const std::vector<Variant>&) {
        return Variant::unknown(makeEnumerator(items_()).get());
    };
    members_.push_back(Member{u"_NewEnum", DISPID_NEWENUM, enumerate, {}});
    members_.push_back(Member{u"Count", kFirstMember + static_cast<DISPID>(members_.size()),
                              [this](const std::vector<Variant>&) {
                                  return Variant::i4(static_cast<std::int32_t>(items_().size()));
                              },
                              {}});
}

const DispatchCore::Member* DispatchCore::find(DISPID id) const {
    for (const Member& m : members_)
        if (m.id == id) return &m;
    return nullptr;
}

std::string DispatchCore::key(const Text& member) const { return component_ + "." + utf8(member); }

std::string DispatchCore::namedKey(const Text& member) const {
    return name_.empty() ? std::string() : component_ + "(" + name_ + ")." + utf8(member);
}

HRESULT DispatchCore::idsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (const Failure* failure = log().lookUp(component_, name_, platform::TextView(reinterpret_cast<const char16_t*>(names[0])))) return failure->hr;
    for (const Member& m : members_)
        if (platform::sameName(m.name, platform::TextView(reinterpret_cast<const char16_t*>(names[0])))) {
            ids[0] = m.id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    log().enter("UNEXPECTED " + component_ + "." + utf8(Text(reinterpret_cast<const char16_t*>(names[0]))), {}, "");
    return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchCore::invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo) {
    if (params == nullptr) return E_INVALIDARG;
    std::vector<Variant> args;
    for (UINT i = params->cArgs; i > 0; --i) args.push_back(Variant::copyOf(params->rgvarg[i - 1]));
    const Member* member = find(id);
    // The evaluate probe: collections answer it with their enumerator, other
    // objects do not have it.
    if (id == DISPID_EVALUATE) {
        if (log().enter(key(u"[evaluate]"), namedKey(u"[evaluate]"), describeAll(args)) != nullptr) return E_FAIL;
        const bool asksForEnumerator = args.size() == 1 && args[0].type() == VT_BSTR &&
                                       platform::textOf(args[0].get()->bstrVal) == u"_NewEnum";
        if (!items_ || !asksForEnumerator) return DISP_E_MEMBERNOTFOUND;
        if (result != nullptr) {
            VariantClear(result);
            *result = Variant::unknown(makeEnumerator(items_()).get()).detach();
        }
        return S_OK;
    }
    if (member == nullptr) {
        log().enter("UNEXPECTED " + component_ + ".#" + std::to_string(id), {}, describeAll(args));
        return DISP_E_MEMBERNOTFOUND;
    }
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const Text shownName = put ? member->name + u"=" : member->name;
    if (const Failure* failure = log().enter(key(shownName), namedKey(member->name), describeAll(args))) {
        if (failure->description.empty() || excepInfo == nullptr) return failure->hr;
        std::memset(excepInfo, 0, sizeof *excepInfo);
        excepInfo->scode = failure->hr;
        excepInfo->bstrDescription = platform::allocBstr(failure->description);
        excepInfo->bstrSource = platform::allocBstr(failure->source);
        return DISP_E_EXCEPTION;
    }
    try {
        if (put) {
            if (!member->put || args.size() != 1) return DISP_E_MEMBERNOTFOUND;
            member->put(args[0]);
            return S_OK;
        }
        if (!member->get) return DISP_E_MEMBERNOTFOUND;
        Variant value = member->get(args);
        if (log().answersPlanned())
            if (const Variant* planned = log().answerFor(key(member->name), namedKey(member->name))) value = *planned;
        if (result != nullptr) {
            VariantClear(result);
            *result = value.detach();
        }
        return S_OK;
    } catch (const Refusal& refusal) {
        return refusal.hr;
    }
}

ComPtr<IEnumVARIANT> makeEnumerator(std::vector<Variant> items) {
    return ComPtr<IEnumVARIANT>::attach(new Enumerator(std::move(items)));
}

Variant objectVariant(DispatchCore* object) { return Variant::dispatch(object == nullptr ? nullptr : object->dispatch()); }
Variant textVariant(const Text& text) { return Variant::text(text); }

}  // namespace standins
