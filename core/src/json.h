// The JSON layer: values (json_value.h), writing them (json_text.h), parsing whole texts or reading
// them member by member as raw text (json_parse.h), and decoding single string literals
// (json_string.h).
#pragma once

#include "json_parse.h"
#include "json_string.h"
#include "json_text.h"
#include "json_value.h"
