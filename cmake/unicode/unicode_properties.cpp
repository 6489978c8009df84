// ICU's own entry points for the three lookups the core makes, answered from the generated table.
// Only White_Space and Grapheme_Extend are tabled: any other binary property answers false.
#include "unicode_properties.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace {

uint8_t properties_of(UChar32 c) {
  using orvane_unicode::kRunCount;
  using orvane_unicode::kRuns;
  if (c < 0 || c > UCHAR_MAX_VALUE) return U_UNASSIGNED;
  const auto* run = std::upper_bound(
      kRuns, kRuns + kRunCount, static_cast<uint32_t>(c),
      [](uint32_t code_point, const orvane_unicode::Run& r) { return code_point < r.start; });
  return run[-1].properties;  // kRuns[0] starts at 0
}

}  // namespace

U_CAPI int8_t U_EXPORT2 u_charType(UChar32 c) { return properties_of(c) & 0x3F; }

U_CAPI UBool U_EXPORT2 u_isUWhiteSpace(UChar32 c) { return (properties_of(c) & 0x40) != 0; }

U_CAPI UBool U_EXPORT2 u_hasBinaryProperty(UChar32 c, UProperty which) {
  switch (which) {
    case UCHAR_WHITE_SPACE:
      return (properties_of(c) & 0x40) != 0;
    case UCHAR_GRAPHEME_EXTEND:
      return (properties_of(c) & 0x80) != 0;
    default:
      return false;
  }
}
