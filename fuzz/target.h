// The entry of a fuzz target. Built for libFuzzer, FUZZ_TARGET(name) defines
// LLVMFuzzerTestOneInput; built into the replay test, it registers the entry under its name, so
// that the ordinary test run can feed every kept input to every target without a fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace orvane::fuzz {

using Entry = int (*)(std::string_view text);

// Adds a target to the replay test's list; returns its position.
int register_target(const char* name, Entry entry);

// A broken invariant ends the process, as a fuzzer expects of a crash.
[[noreturn]] inline void broken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
  std::abort();
}

}  // namespace orvane::fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? void() : ::orvane::fuzz::broken(#condition, __FILE__, __LINE__))

// The body reads the input as `text`.
#ifdef ORVANE_FUZZ_REPLAY
#define FUZZ_TARGET(name)                                   \
  static int name##_entry(std::string_view text);           \
  [[maybe_unused]] static const int name##_registered =     \
      ::orvane::fuzz::register_target(#name, name##_entry); \
  static int name##_entry(std::string_view text)
#else
#define FUZZ_TARGET(name)                                                             \
  static int name##_entry(std::string_view text);                                     \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    return name##_entry({reinterpret_cast<const char*>(data), size});                 \
  }                                                                                   \
  static int name##_entry(std::string_view text)
#endif
