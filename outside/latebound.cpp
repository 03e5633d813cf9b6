#include "outside/latebound.h"

#include <cstring>

namespace kw {

namespace {

[[noreturn]] void raiseFromException(HRESULT hr, EXCEPINFO& info, Site at) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    Bstr source = Bstr::attach(info.bstrSource), description = Bstr::attach(info.bstrDescription);
    Bstr help = Bstr::attach(info.bstrHelpFile);
    std::int32_t number = errorNumberFromHResult(hr);
    if (info.wCode != 0) number = info.wCode;
    else if (FAILED(info.scode)) number = errorNumberFromHResult(info.scode);
    Text d = description.text(), s = source.text();
    if (d.empty()) d = describeError(number);
    if (s.empty()) s = kDefaultSource;
    throw RuntimeError(number, std::move(d), std::move(s), static_cast<std::int32_t>(at.line));
}

}  // namespace

LateBound& LateBound::operator=(const LateBound& other) {
    if (this == &other) return *this;
    forget();
    object_ = other.object_;
    known_ = other.known_;
    next_ = other.next_;
    return *this;
}

LateBound& LateBound::operator=(LateBound&& other) {
    if (this == &other) return *this;
    forget();
    const auto known = other.known_;
    const auto next = other.next_;
    other.forget();
    object_ = std::move(other.object_);
    known_ = known;
    next_ = next;
    return *this;
}

void LateBound::reset() {
    forget();
    object_.reset();
}

DISPID LateBound::idOf(const char16_t* member, Site at) const {
    for (const Known& k : known_)
        if (k.name != nullptr && (k.name == member || TextView(k.name) == TextView(member))) return k.id;
    IDispatch* object = need(object_, at);
    Text name(member);
    LPOLESTR names[] = {const_cast<LPOLESTR>(platform::ole(name))};
    DISPID id = DISPID_UNKNOWN;
    check(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), object_, at);
    known_[next_] = Known{member, id};
    next_ = static_cast<std::uint8_t>((next_ + 1) % kKnownNames);
    return id;
}

Variant LateBound::invoke(DISPID id, WORD flags, const Variant* args, std::size_t count, bool namedPut,
                          Site at) const {
    IDispatch* object = need(object_, at);
    // DISPPARAMS lists the arguments from the last to the first.
    std::vector<VARIANT> reversed(count);
    for (std::size_t i = 0; i < count; ++i) reversed[count - 1 - i] = *args[i].get();
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), namedPut ? &putId : nullptr, static_cast<UINT>(count), namedPut ? 1u : 0u};
    Variant result;
    EXCEPINFO info;
    std::memset(&info, 0, sizeof info);
    UINT argError = 0;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, namedPut ? nullptr : result.put(),
                                      &info, &argError);
    if (hr == DISP_E_EXCEPTION) raiseFromException(hr, info, at);
    check(hr, object_, at);
    return result;
}

Variant LateBound::call(const char16_t* member, std::initializer_list<Variant> args, Site at) const {
    return invoke(idOf(member, at), DISPATCH_METHOD | DISPATCH_PROPERTYGET, args.begin(), args.size(), false, at);
}

void LateBound::put(const char16_t* member, const Variant& value, Site at) const {
    invoke(idOf(member, at), DISPATCH_PROPERTYPUT, &value, 1, true, at);
}

void LateBound::putRef(const char16_t* member, const Variant& value, Site at) const {
    invoke(idOf(member, at), DISPATCH_PROPERTYPUTREF, &value, 1, true, at);
}

Variant defaultValue(const LateBound& object, Site at) {
    return object.invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, nullptr, 0, false, at);
}

void forEach(const LateBound& collection, const std::function<void(const Variant&)>& body, Site at) {
    Variant enumerator =
        collection.invoke(DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0, false, at);
    const VARIANT& e = *enumerator;
    IUnknown* unknown = (e.vt == VT_UNKNOWN || e.vt == VT_DISPATCH) ? e.punkVal : nullptr;
    if (unknown == nullptr) raise(err::NoSuchMember, at);
    ComPtr<IEnumVARIANT> items;
    if (FAILED(unknown->QueryInterface(IID_IEnumVARIANT, items.putVoid())) || !items) raise(err::NoSuchMember, at);
    for (;;) {
        Variant item;
        ULONG fetched = 0;
        const HRESULT hr = items->Next(1, item.put(), &fetched);
        check(hr, items, at);
        if (hr != S_OK || fetched == 0) break;
        body(item);
    }
}

}  // namespace kw
