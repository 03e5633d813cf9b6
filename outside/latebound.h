// Calls by member name through IDispatch: GetIDsOfNames once per name and
// object, then Invoke. Outlook and the members other components expose only
// by name (attachments, contact walk, the error-report component) are reached
// this way. A failing call raises the run-time error for its HRESULT, with
// the description and source the object reported in EXCEPINFO.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "core/automation.h"

namespace kw {

// An object reached by name, held together with the DISPIDs of the names
// already called on it. The DISPIDs belong to this holder's object: they are
// copied with it and forgotten whenever the holder lets go of it, so an id is
// never used on an object it was not looked up on, even one that comes to
// live at the same address. Member names are string literals, kept by
// address.
class LateBound {
public:
    LateBound() = default;
    LateBound(std::nullptr_t) noexcept {}
    LateBound(ComPtr<IDispatch> object) noexcept : object_(std::move(object)) {}
    LateBound(const LateBound&) = default;
    LateBound(LateBound&& other) noexcept : object_(std::move(other.object_)), known_(other.known_), next_(other.next_) {
        other.forget();
    }
    ~LateBound() = default;
    // An assignment releases the object held before (a fault in that
    // release is thrown there, as for any COM pointer); its DISPIDs are
    // forgotten first, so they never stay beside another object.
    LateBound& operator=(const LateBound& other);
    LateBound& operator=(LateBound&& other);
    void reset();

    const ComPtr<IDispatch>& object() const noexcept { return object_; }

    // A method call or property read (arguments in their natural order).
    Variant call(const char16_t* member, std::initializer_list<Variant> args = {}, Site at = Site::here()) const;
    // A property write by value.
    void put(const char16_t* member, const Variant& value, Site at = Site::here()) const;
    // A property write by reference (Set x.member = object).
    void putRef(const char16_t* member, const Variant& value, Site at = Site::here()) const;
    // Any call by DISPID.
    Variant invoke(DISPID id, WORD flags, const Variant* args, std::size_t count, bool namedPut, Site at) const;

    // The member's DISPID: looked up on the first call of that name, then
    // known. A failed lookup is not kept.
    DISPID idOf(const char16_t* member, Site at) const;

private:
    struct Known {
        const char16_t* name = nullptr;
        DISPID id = DISPID_UNKNOWN;
    };
    // The component calls at most a few names on one object; beyond this
    // many the oldest is looked up again when next needed.
    static constexpr std::size_t kKnownNames = 4;

    void forget() noexcept {
        known_ = {};
        next_ = 0;
    }

    ComPtr<IDispatch> object_;
    mutable std::array<Known, kKnownNames> known_{};
    mutable std::uint8_t next_ = 0;
};

// An object of interface I reached by name. I derives from IDispatch (the
// Outlook interfaces are dual), so the pointer asked for as I is also the
// object's IDispatch and no call needs a QueryInterface of its own.
template <class I>
class ByName : public LateBound {
    static_assert(std::is_base_of_v<IDispatch, I>);

public:
    ByName() = default;
    ByName(std::nullptr_t) noexcept {}
    ByName(const ComPtr<I>& object) : LateBound(ComPtr<IDispatch>(object)) {}
    ByName(ComPtr<I>&& object) noexcept : LateBound(ComPtr<IDispatch>::attach(object.detach())) {}
    // The same object seen through an interface it derives from keeps its
    // DISPIDs.
    template <class U>
        requires(std::is_base_of_v<I, U> && !std::is_same_v<I, U>)
    ByName(const ByName<U>& other) : LateBound(other) {}

    ByName& operator=(std::nullptr_t) {
        reset();
        return *this;
    }
    ByName& operator=(const ComPtr<I>& object) { return *this = ByName(object); }

    I* get() const noexcept { return static_cast<I*>(object().get()); }
    explicit operator bool() const noexcept { return get() != nullptr; }
    // A plain reference of the caller's own.
    ComPtr<I> pointer() const { return ComPtr<I>::share(get()); }
};

// The report form of an object held by name: the object, as for any COM
// pointer.
template <class T>
struct Reported;
template <class I>
struct Reported<ByName<I>> {
    static Variant value(const ByName<I>& p) { return Variant::dispatch(p.get()); }
};

// The object's default member (DISPID_VALUE), read as a property.
Variant defaultValue(const LateBound& object, Site at = Site::here());

// For Each over a collection: its _NewEnum enumerator, item by item.
void forEach(const LateBound& collection, const std::function<void(const Variant&)>& body, Site at = Site::here());

}  // namespace kw
