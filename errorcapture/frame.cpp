#include "errorcapture/frame.h"

#include "core/safearray.h"

namespace kw {

Variant Reported<std::vector<Text>>::value(const std::vector<Text>& v) { return textArray(v); }

Variant Reported<std::optional<std::vector<Text>>>::value(const std::optional<std::vector<Text>>& v) {
    return v ? textArray(*v) : Variant();
}

}  // namespace kw
