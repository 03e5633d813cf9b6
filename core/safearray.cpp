#include "core/safearray.h"

namespace kw {

std::int32_t lowerBound(SAFEARRAY* array, std::uint32_t dimension, Site at) {
    LONG bound = 0;
    if (array == nullptr || FAILED(SafeArrayGetLBound(array, dimension, &bound))) raise(err::SubscriptOutOfRange, at);
    return bound;
}

std::int32_t upperBound(SAFEARRAY* array, std::uint32_t dimension, Site at) {
    LONG bound = 0;
    if (array == nullptr || FAILED(SafeArrayGetUBound(array, dimension, &bound))) raise(err::SubscriptOutOfRange, at);
    return bound;
}

Variant textArray(const std::vector<Text>& items) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(items.size()));
    if (array == nullptr) throw std::bad_alloc();
    Variant result = Variant::array(VT_BSTR, array);
    for (std::size_t i = 0; i < items.size(); ++i) {
        Bstr item(items[i]);
        LONG index = static_cast<LONG>(i);
        check(SafeArrayPutElement(array, &index, item.get()));
    }
    return result;
}

}  // namespace kw
