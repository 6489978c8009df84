// The compiled-in property table written by generate.cpp: maximal runs of code points that share
// a general category (bits 0-5), White_Space (bit 6) and Grapheme_Extend (bit 7).
#pragma once

#include <cstdint>

namespace orvane_unicode {

struct Run {
  uint32_t start;
  uint8_t properties;
};

extern const Run kRuns[];
extern const unsigned kRunCount;

}  // namespace orvane_unicode
