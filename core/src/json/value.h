// JsonValue: the parsed form of a JSON text.
//
// A number keeps one of three forms: a non-negative integer that fits 64 bits unsigned, a negative
// integer that fits 64 bits signed, or a 64-bit binary float (a number written with a fraction or
// an exponent, or an integer outside both 64-bit ranges). An object keeps one member per name,
// sorted by name in byte order; when a text repeats a name, the last value wins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace orvane {

// The order matches the alternatives of JsonValue's storage.
enum class JsonKind : uint8_t { Null, Bool, Unsigned, Negative, Float, String, Array, Object };

class JsonValue;
struct JsonMember;
using JsonArray = std::vector<JsonValue>;
// Sorted by name (byte order), names unique. Only JsonValue::object builds one.
using JsonObject = std::vector<JsonMember>;

class JsonValue {
 public:
  // Null.
  JsonValue() = default;

  static JsonValue null();
  static JsonValue boolean(bool value);
  static JsonValue unsigned_integer(uint64_t value);
  // A negative value takes the negative form, any other the unsigned form.
  static JsonValue integer(int64_t value);
  static JsonValue floating(double value);
  static JsonValue string(std::string value);
  static JsonValue array(JsonArray elements);
  // Members in any order; they are sorted by name and, for a repeated name, the last one is kept.
  static JsonValue object(std::vector<JsonMember> members);

  JsonKind kind() const { return static_cast<JsonKind>(storage_.index()); }
  bool is_null() const { return kind() == JsonKind::Null; }
  bool is_number() const {
    return kind() == JsonKind::Unsigned || kind() == JsonKind::Negative ||
           kind() == JsonKind::Float;
  }

  // Each accessor requires the matching kind().
  bool as_bool() const { return *std::get_if<bool>(&storage_); }
  uint64_t as_unsigned() const { return *std::get_if<uint64_t>(&storage_); }
  int64_t as_negative() const { return *std::get_if<int64_t>(&storage_); }
  double as_float() const { return *std::get_if<double>(&storage_); }
  const std::string& as_string() const { return *std::get_if<std::string>(&storage_); }
  const JsonArray& as_array() const { return *std::get_if<JsonArray>(&storage_); }
  const JsonObject& as_object() const { return *std::get_if<JsonObject>(&storage_); }

  // The member `name` of an object; nullptr when this is not an object or has no such member.
  const JsonValue* find(std::string_view name) const;

  // Structural equality: same kind and same contents (floats compare as doubles).
  friend bool operator==(const JsonValue& a, const JsonValue& b);

 private:
  using Storage = std::variant<std::monostate, bool, uint64_t, int64_t, double, std::string,
                               JsonArray, JsonObject>;
  explicit JsonValue(Storage storage);

  Storage storage_;
};

struct JsonMember {
  std::string name;
  JsonValue value;

  friend bool operator==(const JsonMember&, const JsonMember&) = default;
};

// Defined here, once JsonMember is complete: building or destroying the storage instantiates
// std::vector<JsonMember>'s members, which a conforming compiler may do at the point of use.
inline JsonValue::JsonValue(Storage storage) : storage_(std::move(storage)) {}
inline JsonValue JsonValue::null() { return JsonValue(); }
inline JsonValue JsonValue::boolean(bool value) {
  return JsonValue(Storage(std::in_place_type<bool>, value));
}
inline JsonValue JsonValue::unsigned_integer(uint64_t value) {
  return JsonValue(Storage(std::in_place_type<uint64_t>, value));
}
inline JsonValue JsonValue::integer(int64_t value) {
  return value < 0 ? JsonValue(Storage(std::in_place_type<int64_t>, value))
                   : unsigned_integer(static_cast<uint64_t>(value));
}
inline JsonValue JsonValue::floating(double value) {
  return JsonValue(Storage(std::in_place_type<double>, value));
}
inline JsonValue JsonValue::string(std::string value) {
  return JsonValue(Storage(std::in_place_type<std::string>, std::move(value)));
}
inline JsonValue JsonValue::array(JsonArray elements) {
  return JsonValue(Storage(std::in_place_type<JsonArray>, std::move(elements)));
}

}  // namespace orvane
