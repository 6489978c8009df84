#include "json/parse.h"

#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "json/number.h"
#include "json/syntax.h"

namespace orvane {
namespace {

namespace sj = simdjson;
namespace od = simdjson::ondemand;

// One parser and its padded input buffer. simdjson reads up to SIMDJSON_PADDING bytes past the end
// of the text, so the text is copied once into a buffer with that much room.
//
// The copy is wrapped as "[" text "]" and the text read as the one element of that array. simdjson
// 3.0.1's readers of a scalar at the root have faults ("falsee" is taken for false, "null" followed
// by one newline is refused), while its readers of array elements have not; and so the root is read
// like any other value.
struct ParserSlot {
  od::parser parser;
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  bool busy = false;
  // Values built so far, innermost last, and the names of the object members among them (views
  // into the parser's string buffer): a finished array or object takes its children from the top in
  // one exact-size allocation. Kept between calls for their capacity.
  std::vector<JsonValue> values;
  std::vector<std::string_view> names;
  std::vector<uint32_t> order;  // scratch for sorting one object's members

  // The wrapped, padded copy of `text` (its size is text.size() + 2), or nullptr when the buffer
  // cannot grow.
  char* load(std::string_view text) {
    const std::size_t need = text.size() + 2 + sj::SIMDJSON_PADDING;
    if (need > capacity) {
      const std::size_t grown = std::max(need, capacity + capacity / 2);
      buffer.reset(new (std::nothrow) char[grown]);
      capacity = buffer ? grown : 0;
      if (!buffer) return nullptr;
    }
    buffer[0] = '[';
    if (!text.empty()) std::memcpy(buffer.get() + 1, text.data(), text.size());
    buffer[text.size() + 1] = ']';
    std::memset(buffer.get() + text.size() + 2, 0, sj::SIMDJSON_PADDING);
    return buffer.get();
  }
};

// The thread's parser while it is free; a parser of its own for a nested read on the same thread.
class ParserLease {
 public:
  ParserLease() {
    thread_local ParserSlot slot;
    if (!slot.busy) {
      slot_ = &slot;
    } else {
      own_ = std::make_unique<ParserSlot>();
      slot_ = own_.get();
    }
    slot_->busy = true;
  }
  ~ParserLease() { slot_->busy = false; }
  ParserLease(const ParserLease&) = delete;
  ParserLease& operator=(const ParserLease&) = delete;

  ParserSlot& operator*() const { return *slot_; }
  ParserSlot* operator->() const { return slot_; }

 private:
  std::unique_ptr<ParserSlot> own_;
  ParserSlot* slot_;
};

std::string_view type_name(JsonType type) {
  switch (type) {
    case JsonType::Null:
      return "null";
    case JsonType::Bool:
      return "boolean";
    case JsonType::Number:
      return "number";
    case JsonType::String:
      return "string";
    case JsonType::Array:
      return "array";
    case JsonType::Object:
      return "object";
  }
  return "value";
}

JsonType to_type(od::json_type type) {
  switch (type) {
    case od::json_type::array:
      return JsonType::Array;
    case od::json_type::object:
      return JsonType::Object;
    case od::json_type::number:
      return JsonType::Number;
    case od::json_type::string:
      return JsonType::String;
    case od::json_type::boolean:
      return JsonType::Bool;
    case od::json_type::null:
      return JsonType::Null;
  }
  return JsonType::Null;
}

// The state of one read: the text, the document and the first failure.
struct Session {
  std::string_view text;       // as the caller gave it
  const char* base = nullptr;  // where the text starts in the padded copy
  ParserSlot* slot = nullptr;  // the build stacks
  od::document doc;
  int depth = 0;  // arrays and objects open around the current value
  bool failed = false;
  Error error{ErrorCode::kMalformedJson, {}};

  bool fail(Error e) {
    if (!failed) {
      failed = true;
      error = std::move(e);
    }
    return false;
  }
  bool fail(std::string message) {
    return fail(Error(ErrorCode::kMalformedJson, std::move(message)));
  }

  // `at` may be the wrapper's closing bracket, which stands at the end of the text. The code is
  // kMalformedFrame for a value of the wrong shape, which is valid JSON.
  bool fail_at(std::string_view message, const char* at,
               ErrorCode code = ErrorCode::kMalformedJson) {
    if (failed) return false;
    const std::size_t offset =
        at <= base ? 0 : std::min(static_cast<std::size_t>(at - base), text.size());
    return fail(Error(code, json_error_at(text, offset, message)));
  }

  // simdjson says only what kind of fault it met; the scanner finds the first one and its place.
  // What the scanner accepts was refused for range (a number beyond the double range) or capacity.
  bool fail_code(sj::error_code code, const char* at) {
    if (failed) return false;
    if (const auto fault = find_json_syntax_fault(text)) {
      return fail(json_error_at(text, fault->offset, fault->message));
    }
    switch (code) {
      case sj::NUMBER_ERROR:
      case sj::NUMBER_OUT_OF_RANGE:
        return at != nullptr ? fail_at("number out of range", at) : fail("number out of range");
      case sj::CAPACITY:
        return fail("text too large");
      case sj::MEMALLOC:
        return fail("out of memory");
      default:
        return at != nullptr ? fail_at(sj::error_message(code), at) : fail(sj::error_message(code));
    }
  }

  // The next token after what has been read, or nullptr at the end of the wrapped text.
  const char* location() {
    const char* at = nullptr;
    if (doc.current_location().get(at) != sj::SUCCESS) return nullptr;
    return at;
  }
};

}  // namespace

struct JsonCursor::Node {
  Session& session;
  od::value value;
  const char* start;  // first character of the value
  bool consumed = false;
};

struct JsonCursorAccess {
  static JsonCursor make(JsonCursor::Node& node) { return JsonCursor(node); }
};

namespace {

const char* start_of(od::value& value) { return value.raw_json_token().data(); }

// The two containers' loops, shared by `walk` and the cursor: the depth limit, the container read
// at `at`, then `each(item)` per element or `each(name, item)` per member, stopping at a failure.
template <typename Each>
bool for_elements(Session& s, od::value& v, const char* at, Each&& each) {
  if (s.depth >= kJsonMaxDepth) return s.fail_at("recursion limit exceeded", at);
  od::array array;
  if (const auto e = v.get_array().get(array)) return s.fail_code(e, at);
  ++s.depth;
  for (auto element : array) {
    od::value item;
    if (const auto e = std::move(element).get(item)) return s.fail_code(e, s.location());
    if (!each(item)) return false;
  }
  --s.depth;
  return true;
}

template <typename Each>
bool for_members(Session& s, od::value& v, const char* at, Each&& each) {
  if (s.depth >= kJsonMaxDepth) return s.fail_at("recursion limit exceeded", at);
  od::object object;
  if (const auto e = v.get_object().get(object)) return s.fail_code(e, at);
  ++s.depth;
  for (auto entry : object) {
    od::field field;
    if (const auto e = std::move(entry).get(field)) return s.fail_code(e, s.location());
    std::string_view name;
    if (const auto e = field.unescaped_key().get(name)) return s.fail_code(e, s.location());
    od::value item = field.value();
    if (!each(name, item)) return false;
  }
  --s.depth;
  return true;
}

// Replaces the members from `mark` on (names[mark..], with their values on top of `values`) by one
// object value. The members are ordered by name through an index, so that each value moves once;
// of a repeated name the last one is kept.
void finish_object(ParserSlot& slot, std::size_t mark) {
  const std::size_t count = slot.names.size() - mark;
  const std::string_view* names = slot.names.data() + mark;
  const auto first = slot.values.end() - static_cast<std::ptrdiff_t>(count);
  std::vector<uint32_t>& order = slot.order;
  order.resize(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  const auto by_name = [names](uint32_t a, uint32_t b) { return names[a] < names[b]; };
  if (!std::is_sorted(order.begin(), order.end(), by_name)) {
    std::stable_sort(order.begin(), order.end(), by_name);
  }
  std::vector<JsonMember> members;
  members.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const uint32_t i = order[k];
    if (k + 1 < count && names[order[k + 1]] == names[i]) continue;  // a later one wins
    members.push_back(JsonMember{std::string(names[i]), std::move(first[i])});
  }
  slot.values.erase(first, slot.values.end());
  slot.names.resize(mark);
  slot.values.push_back(JsonValue::object(std::move(members)));
}

// Reads one value to its end, validating all of it; with `build`, pushes it on s.slot->values.
bool walk(Session& s, od::value& v, const char* at, bool build) {
  od::json_type type;
  if (const auto e = v.type().get(type)) return s.fail_code(e, at);
  switch (type) {
    case od::json_type::array: {
      const std::size_t mark = s.slot->values.size();
      const bool read = for_elements(
          s, v, at, [&](od::value& item) { return walk(s, item, start_of(item), build); });
      if (!read) return false;
      if (build) {
        const auto first = s.slot->values.begin() + static_cast<std::ptrdiff_t>(mark);
        JsonArray elements(std::make_move_iterator(first),
                           std::make_move_iterator(s.slot->values.end()));
        s.slot->values.erase(first, s.slot->values.end());
        s.slot->values.push_back(JsonValue::array(std::move(elements)));
      }
      return true;
    }
    case od::json_type::object: {
      const std::size_t mark = s.slot->names.size();
      const bool read = for_members(s, v, at, [&](std::string_view name, od::value& item) {
        if (build) s.slot->names.push_back(name);
        return walk(s, item, start_of(item), build);
      });
      if (!read) return false;
      if (build) finish_object(*s.slot, mark);
      return true;
    }
    case od::json_type::number: {
      // Read from the token's own text: this simdjson's get_double() misreads some long fractions
      // ("0.85000000000000000000" gives 0.112...). The value is left unconsumed; the enclosing
      // array or object skips it.
      std::string_view token = v.raw_json_token();
      while (!token.empty() && is_json_space(token.back())) token.remove_suffix(1);
      auto number = json_number(token);
      if (!number) return s.fail_code(sj::NUMBER_ERROR, at);
      if (build) s.slot->values.push_back(std::move(*number));
      return true;
    }
    case od::json_type::string: {
      std::string_view text;
      if (const auto e = v.get_string().get(text)) return s.fail_code(e, at);
      if (build) s.slot->values.push_back(JsonValue::string(std::string(text)));
      return true;
    }
    case od::json_type::boolean: {
      bool b;
      if (const auto e = v.get_bool().get(b)) return s.fail_code(e, at);
      if (build) s.slot->values.push_back(JsonValue::boolean(b));
      return true;
    }
    case od::json_type::null: {
      bool is_null = false;
      if (const auto e = v.is_null().get(is_null)) return s.fail_code(e, at);
      if (!is_null) return s.fail_code(sj::N_ATOM_ERROR, at);
      if (build) s.slot->values.push_back(JsonValue::null());
      return true;
    }
  }
  return s.fail_code(sj::TAPE_ERROR, at);
}

// Reads a value with a builder: the value, or nullopt with the session failed.
std::optional<JsonValue> build(Session& s, od::value& v, const char* at) {
  if (!walk(s, v, at, true)) return std::nullopt;
  JsonValue out = std::move(s.slot->values.back());
  s.slot->values.pop_back();
  return out;
}

bool skip_node(JsonCursor::Node& node) { return walk(node.session, node.value, node.start, false); }

// Reads `text` as the one element of the wrapped copy: `body(session, value)` reads the value, then
// nothing but white space may follow. Faults found in the wrapper (no value, a second value, text
// after the closing bracket) are faults of the text, which the scanner locates.
template <typename Body>
JsonStatus run(std::string_view text, Body&& body) {
  ParserLease lease;
  Session s;
  s.text = text;
  const char* wrapped = lease->load(text);
  if (wrapped == nullptr) return std::unexpected(Error(ErrorCode::kMalformedJson, "out of memory"));
  s.base = wrapped + 1;
  // Whatever a failed read left on the stacks goes now; their capacity stays.
  lease->values.clear();
  lease->names.clear();
  s.slot = &*lease;
  const std::size_t size = text.size() + 2;
  od::array wrapper;
  if (const auto e = lease->parser.iterate(wrapped, size, size + sj::SIMDJSON_PADDING).get(s.doc)) {
    s.fail_code(e, nullptr);
  } else if (const auto e2 = s.doc.get_array().get(wrapper)) {
    s.fail_code(e2, nullptr);
  } else {
    std::size_t count = 0;
    for (auto element : wrapper) {
      od::value item;
      if (const auto error = std::move(element).get(item)) {
        s.fail_code(error, s.location());
        break;
      }
      if (count++ > 0) {
        s.fail_code(sj::TAPE_ERROR, start_of(item));
        break;
      }
      JsonStatus status = body(s, item);
      if (s.failed) break;
      if (!status) return status;
    }
    if (!s.failed && count == 0) s.fail_code(sj::EMPTY, nullptr);
    if (!s.failed && s.location() != nullptr) s.fail_code(sj::TAPE_ERROR, s.location());
  }
  if (s.failed) return std::unexpected(std::move(s.error));
  return {};
}

}  // namespace

std::expected<JsonValue, Error> parse_json(std::string_view text) {
  std::optional<JsonValue> out;
  const JsonStatus status = run(text, [&](Session& s, od::value& root) -> JsonStatus {
    out = build(s, root, start_of(root));
    return {};
  });
  if (!status) return std::unexpected(status.error());
  return std::move(*out);
}

JsonStatus read_json(std::string_view text, JsonCursor::Visit visit) {
  return run(text, [&](Session& s, od::value& value) -> JsonStatus {
    JsonCursor::Node root{.session = s, .value = value, .start = start_of(value)};
    JsonCursor cursor = JsonCursorAccess::make(root);
    JsonStatus status = visit(cursor);
    if (!s.failed && status && !root.consumed) skip_node(root);
    return status;
  });
}

// ---- JsonCursor ----

namespace {

std::unexpected<Error> failure(Session& s) { return std::unexpected(s.error); }

// A visitor's misuse of the cursor: the frame cannot be read as the visitor asks.
bool fail_misuse(Session& s, std::string message) {
  return s.fail(Error(ErrorCode::kMalformedFrame, std::move(message)));
}

// Marks the node read; false (with the session failed) when it was read before or the read is over.
bool begin(JsonCursor::Node& node) {
  Session& s = node.session;
  if (s.failed) return false;
  if (node.consumed) return fail_misuse(s, "a JSON value was read twice");
  node.consumed = true;
  return true;
}

// The type of an unread node; nullopt with the session failed when its first token is invalid.
std::optional<JsonType> peek_type(JsonCursor::Node& node) {
  od::json_type type;
  const auto e = node.value.type().get(type);
  if (e) {
    node.session.fail_code(e, node.start);
    return std::nullopt;
  }
  return to_type(type);
}

// A type mismatch: a fault inside the value itself comes first, as a syntax error would.
std::unexpected<Error> wrong_type(JsonCursor::Node& node, JsonType found,
                                  std::string_view expected) {
  Session& s = node.session;
  if (skip_node(node)) {
    std::string message = "invalid type: ";
    message += type_name(found);
    message += ", expected ";
    message += expected;
    s.fail_at(message, node.start, ErrorCode::kMalformedFrame);
  }
  return failure(s);
}

// Runs a visitor on a child node and skips what it left unread.
bool visit_child(JsonCursor::Node& child, absl::FunctionRef<JsonStatus(JsonCursor&)> visit) {
  Session& s = child.session;
  JsonCursor cursor = JsonCursorAccess::make(child);
  JsonStatus status = visit(cursor);
  if (s.failed) return false;
  if (!status) return s.fail(std::move(status.error()));
  if (!child.consumed) return walk(s, child.value, child.start, false);
  return true;
}

// Iterates the array at `node` (already checked to be one), calling `each(child)` per element.
template <typename Each>
bool each_element(JsonCursor::Node& node, Each&& each) {
  Session& s = node.session;
  return for_elements(s, node.value, node.start, [&](od::value& item) {
    JsonCursor::Node child{.session = s, .value = item, .start = start_of(item)};
    return each(child);
  });
}

// Iterates the object at `node` (already checked to be one), calling `each(name, child)` per
// member.
template <typename Each>
bool each_member(JsonCursor::Node& node, Each&& each) {
  Session& s = node.session;
  return for_members(s, node.value, node.start, [&](std::string_view name, od::value& item) {
    JsonCursor::Node child{.session = s, .value = item, .start = start_of(item)};
    return each(name, child);
  });
}

}  // namespace

std::expected<JsonType, Error> JsonCursor::type() {
  Session& s = node_.session;
  if (s.failed) return failure(s);
  if (node_.consumed) {
    fail_misuse(s, "a JSON value was read twice");
    return failure(s);
  }
  const auto type = peek_type(node_);
  if (!type) return failure(s);
  return *type;
}

std::expected<std::string_view, Error> JsonCursor::raw() {
  Session& s = node_.session;
  // A scalar's text is its token; a number is read without moving past it, so only an array or an
  // object ends where reading it stopped. The wrapper's closing bracket follows every value, so
  // there is always a next token.
  const std::string_view token = node_.value.raw_json_token();
  if (!begin(node_) || !skip_node(node_)) return failure(s);
  const bool container = !token.empty() && (token[0] == '[' || token[0] == '{');
  const char* end = container ? s.location() : token.data() + token.size();
  if (end == nullptr) end = s.base + s.text.size();
  while (end > node_.start && is_json_space(end[-1])) --end;
  return s.text.substr(static_cast<std::size_t>(node_.start - s.base),
                       static_cast<std::size_t>(end - node_.start));
}

std::expected<std::optional<std::string_view>, Error> JsonCursor::raw_unless_null() {
  Session& s = node_.session;
  if (s.failed || node_.consumed) return std::unexpected(type().error());
  const auto type = peek_type(node_);
  if (!type) return failure(s);
  if (*type == JsonType::Null) {
    node_.consumed = true;
    if (!skip_node(node_)) return failure(s);
    return std::nullopt;
  }
  auto text = raw();
  if (!text) return std::unexpected(std::move(text.error()));
  return *text;
}

std::expected<JsonValue, Error> JsonCursor::value() {
  Session& s = node_.session;
  if (!begin(node_)) return failure(s);
  auto out = build(s, node_.value, node_.start);
  if (!out) return failure(s);
  return std::move(*out);
}

std::expected<std::string_view, Error> JsonCursor::string() {
  Session& s = node_.session;
  if (!begin(node_)) return failure(s);
  const auto type = peek_type(node_);
  if (!type) return failure(s);
  if (*type != JsonType::String) return wrong_type(node_, *type, "a string");
  std::string_view text;
  if (const auto e = node_.value.get_string().get(text)) {
    s.fail_code(e, node_.start);
    return failure(s);
  }
  return text;
}

JsonStatus JsonCursor::skip() {
  if (!begin(node_) || !skip_node(node_)) return failure(node_.session);
  return {};
}

JsonStatus JsonCursor::elements(Visit visit) {
  Session& s = node_.session;
  if (!begin(node_)) return failure(s);
  const auto type = peek_type(node_);
  if (!type) return failure(s);
  if (*type != JsonType::Array) return wrong_type(node_, *type, "an array");
  if (!each_element(node_, [&](Node& child) { return visit_child(child, visit); })) {
    return failure(s);
  }
  return {};
}

JsonStatus JsonCursor::members(VisitMember visit) {
  Session& s = node_.session;
  if (!begin(node_)) return failure(s);
  const auto type = peek_type(node_);
  if (!type) return failure(s);
  if (*type != JsonType::Object) return wrong_type(node_, *type, "an object");
  const bool ok = each_member(node_, [&](std::string_view name, Node& child) {
    return visit_child(child, [&](JsonCursor& value) { return visit(name, value); });
  });
  if (!ok) return failure(s);
  return {};
}

JsonStatus JsonCursor::record(std::span<const std::string_view> names, VisitField visit) {
  Session& s = node_.session;
  if (!begin(node_)) return failure(s);
  if (names.size() > 64) {
    fail_misuse(s, "a record has more than 64 fields");
    return failure(s);
  }
  const auto type = peek_type(node_);
  if (!type) return failure(s);
  bool ok = false;
  if (*type == JsonType::Object) {
    uint64_t seen = 0;
    ok = each_member(node_, [&](std::string_view name, Node& child) {
      std::size_t index = 0;
      while (index < names.size() && names[index] != name) ++index;
      if (index == names.size()) return walk(s, child.value, child.start, false);
      const uint64_t bit = uint64_t{1} << index;
      if ((seen & bit) != 0) {
        std::string message = "duplicate field `";
        message += name;
        message += '`';
        return s.fail_at(message, child.start, ErrorCode::kMalformedFrame);
      }
      seen |= bit;
      return visit_child(child, [&](JsonCursor& value) { return visit(index, value); });
    });
  } else if (*type == JsonType::Array) {
    std::size_t count = 0;
    ok = each_element(node_, [&](Node& child) {
      const std::size_t index = count++;
      if (index >= names.size()) return walk(s, child.value, child.start, false);
      return visit_child(child, [&](JsonCursor& value) { return visit(index, value); });
    });
    if (ok && count != names.size()) {
      s.fail_at("invalid length " + std::to_string(count) + ", expected " +
                    std::to_string(names.size()) + " elements",
                node_.start, ErrorCode::kMalformedFrame);
      ok = false;
    }
  } else {
    return wrong_type(node_, *type, "an object or an array");
  }
  if (!ok) return failure(s);
  return {};
}

Error JsonCursor::error(std::string_view message) const {
  const Session& s = node_.session;
  return Error(ErrorCode::kMalformedFrame,
               json_error_at(s.text, static_cast<std::size_t>(node_.start - s.base), message));
}

}  // namespace orvane
