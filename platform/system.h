// Small services of the operating system that the component needs once each.
#pragma once

#include "platform/strings.h"

namespace platform {

// The system's message text for an HRESULT, without a trailing line break;
// empty when the system has none.
Text systemMessage(HRESULT hr);

// The type information of interface iid from the type library that the
// component's own module carries as a resource. Where modules carry no type
// libraries, TYPE_E_ELEMENTNOTFOUND.
HRESULT componentTypeInfo(const IID& iid, ITypeInfo** info);

}  // namespace platform
