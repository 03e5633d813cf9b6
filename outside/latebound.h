// Calls by member name through IDispatch: GetIDsOfNames once per name and
// object, then Invoke. Outlook and the members other components expose only
// by name (attachments, contact walk, the error-report component) are reached
// this way. A failing call raises the run-time error for its HRESULT, with
// the description and source the object reported in EXCEPINFO.
#pragma once

#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "core/automation.h"

namespace kw {

class LateBound {
public:
    LateBound() = default;
    explicit LateBound(ComPtr<IDispatch> object) : object_(std::move(object)) {}
    template <class I>
    explicit LateBound(const ComPtr<I>& object) : object_(object.template query<IDispatch>()) {}

    const ComPtr<IDispatch>& object() const noexcept { return object_; }

    // A method call or property read (arguments in their natural order).
    Variant call(const char16_t* member, std::initializer_list<Variant> args = {}, Site at = Site::here());
    // A property write by value.
    void put(const char16_t* member, const Variant& value, Site at = Site::here());
    // A property write by reference (Set x.member = object).
    void putRef(const char16_t* member, const Variant& value, Site at = Site::here());
    // Any call by DISPID.
    Variant invoke(DISPID id, WORD flags, const Variant* args, std::size_t count, bool namedPut, Site at);

    DISPID idOf(const char16_t* member, Site at);

private:
    ComPtr<IDispatch> object_;
    std::vector<std::pair<const char16_t*, DISPID>> ids_;
};

// The object's default member (DISPID_VALUE), read as a property.
Variant defaultValue(const ComPtr<IDispatch>& object, Site at = Site::here());

// For Each over a collection: its _NewEnum enumerator, item by item.
void forEach(const ComPtr<IDispatch>& collection, const std::function<void(const Variant&)>& body,
             Site at = Site::here());

}  // namespace kw
