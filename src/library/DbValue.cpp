#include "library/DbValue.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace spinx {

namespace {
std::int32_t ClampToLong(std::int64_t n) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        n, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}
} // namespace

std::int32_t DbValue::AsLong(std::int32_t ifNull) const {
    if (const auto* n = std::get_if<std::int64_t>(&value_)) return ClampToLong(*n);
    if (const auto* s = std::get_if<std::string>(&value_)) {
        std::int64_t n = 0;
        const char* end = s->data() + s->size();
        const auto [ptr, ec] = std::from_chars(s->data(), end, n);
        if (ec == std::errc() && ptr == end) return ClampToLong(n);
    }
    return ifNull;
}

std::int64_t DbValue::AsInt64() const {
    const auto* n = std::get_if<std::int64_t>(&value_);
    return n ? *n : 0;
}

std::string DbValue::AsText() const {
    if (const auto* n = std::get_if<std::int64_t>(&value_)) return std::to_string(*n);
    if (const auto* s = std::get_if<std::string>(&value_)) return *s;
    return {};
}

} // namespace spinx
