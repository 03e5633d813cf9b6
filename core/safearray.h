// Arrays as the run time sees them: bounds that raise run-time error 9
// (subscript out of range) for an array that was never sized or a dimension
// it does not have, and a text array built from a list.
#pragma once

#include <cstdint>
#include <vector>

#include "core/automation.h"

namespace kw {

std::int32_t lowerBound(SAFEARRAY* array, std::uint32_t dimension, Site at = Site::here());
std::int32_t upperBound(SAFEARRAY* array, std::uint32_t dimension, Site at = Site::here());

// A zero-based one-dimensional array of texts (VT_ARRAY | VT_BSTR).
Variant textArray(const std::vector<Text>& items);

}  // namespace kw
