#pragma once
// One column value as the song table hands it out: Null, a whole number or a text. Null is a
// value of its own, so an empty "Start" is told apart from a stored 0 and an empty "EQ" from "".
#include <cstdint>
#include <string>
#include <variant>

namespace spinx {

// A plain value: any thread.
class DbValue {
  public:
    DbValue() = default; // Null
    DbValue(std::int64_t number) : value_(number) {}
    DbValue(int number) : value_(std::int64_t{number}) {}
    DbValue(std::string text) : value_(std::move(text)) {}
    DbValue(const char* text) : value_(std::string(text)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsLong() const { return std::holds_alternative<std::int64_t>(value_); }

    // The value as a 32-bit Long: `ifNull` for Null, a text read as a decimal number (`ifNull`
    // when it is none), numbers outside the 32-bit range clamped to it.
    std::int32_t AsLong(std::int32_t ifNull = 0) const;
    // The stored number itself, 0 for Null and text.
    std::int64_t AsInt64() const;
    // The value as text: "" for Null, a number in decimal.
    std::string AsText() const;

    bool operator==(const DbValue&) const = default;

  private:
    std::variant<std::monostate, std::int64_t, std::string> value_;
};

} // namespace spinx
