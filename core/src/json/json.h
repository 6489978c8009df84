// The JSON layer: values (json/value.h), writing them (json/text.h), parsing whole texts or reading
// them member by member as raw text (json/parse.h), and decoding single string literals
// (json/string.h).
#pragma once

#include "json/parse.h"
#include "json/string.h"
#include "json/text.h"
#include "json/value.h"
