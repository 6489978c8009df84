#include "json/value.h"

#include <algorithm>

namespace orvane {

JsonValue JsonValue::object(std::vector<JsonMember> members) {
  const auto by_name = [](const JsonMember& a, const JsonMember& b) { return a.name < b.name; };
  // Venue objects are small and usually arrive sorted without repeats: check before sorting.
  const bool sorted_unique = std::adjacent_find(members.begin(), members.end(),
                                                [](const JsonMember& a, const JsonMember& b) {
                                                  return !(a.name < b.name);
                                                }) == members.end();
  if (!sorted_unique) {
    // Stable, so that within a run of one name the text order survives and the last one wins.
    // Small objects are insertion-sorted in place: std::stable_sort would allocate a buffer.
    if (members.size() <= 16) {
      for (auto it = members.begin() + 1; it != members.end(); ++it) {
        if (!by_name(*it, *std::prev(it))) continue;
        JsonMember moving = std::move(*it);
        auto hole = it;
        do {
          *hole = std::move(*std::prev(hole));
          --hole;
        } while (hole != members.begin() && by_name(moving, *std::prev(hole)));
        *hole = std::move(moving);
      }
    } else {
      std::stable_sort(members.begin(), members.end(), by_name);
    }
    auto out = members.begin();
    for (auto in = members.begin(); in != members.end(); ++in) {
      if (out != members.begin() && std::prev(out)->name == in->name) {
        std::prev(out)->value = std::move(in->value);
      } else {
        if (out != in) *out = std::move(*in);
        ++out;
      }
    }
    members.erase(out, members.end());
  }
  return JsonValue(Storage(std::in_place_type<JsonObject>, std::move(members)));
}

const JsonValue* JsonValue::find(std::string_view name) const {
  const JsonObject* members = std::get_if<JsonObject>(&storage_);
  if (members == nullptr) return nullptr;
  const auto it = std::lower_bound(
      members->begin(), members->end(), name,
      [](const JsonMember& member, std::string_view key) { return member.name < key; });
  if (it == members->end() || it->name != name) return nullptr;
  return &it->value;
}

bool operator==(const JsonValue& a, const JsonValue& b) { return a.storage_ == b.storage_; }

}  // namespace orvane
