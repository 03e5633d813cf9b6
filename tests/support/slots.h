// The vtable slot of a virtual member function, for checks that a C++
// interface declares its members where their callers look for them, and a
// call through a numbered slot, as a client compiled against the interface
// makes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/com.h"

namespace kwtest {

// The byte offset of the member's slot (Itanium C++ ABI, as g++ and mingw-w64
// use it: the member pointer holds 1 + that offset).
template <class C, class R, class... A>
std::size_t slotOffsetOf(R (STDMETHODCALLTYPE C::*member)(A...)) {
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } rep;
    static_assert(sizeof rep == sizeof member);
    std::memcpy(&rep, &member, sizeof rep);
    return rep.ptr - 1;
}

template <class C, class R, class... A>
std::size_t slotOf(R (STDMETHODCALLTYPE C::*member)(A...)) {
    return slotOffsetOf(member) / sizeof(void*);
}

template <class I, class... A>
HRESULT callSlot(I* object, std::size_t slot, A... args) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(I*, A...);
    void** table = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Fn>(table[slot])(object, args...);
}

}  // namespace kwtest
