// Interfaces of other components are declared slot by slot. A slot the
// component never calls is still declared, so that the slots after it land
// where the other component has them.
#pragma once

#include <cstdint>

#include "platform/comptr.h"
#include "platform/guid.h"

#define KW_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE unusedSlot##n() = 0
