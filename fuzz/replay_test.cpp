// Every kept input (the seed corpora and every input that ever broke a target) through every
// target's entry, without a fuzzer: a fixed fault stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "target.h"

namespace orvane::fuzz {

std::vector<std::pair<const char*, Entry>>& targets() {
  static std::vector<std::pair<const char*, Entry>> all;
  return all;
}

int register_target(const char* name, Entry entry) {
  targets().emplace_back(name, entry);
  return static_cast<int>(targets().size());
}

namespace {

TEST(FuzzReplay, KeptInputsThroughEveryTarget) {
  const std::filesystem::path root = ORVANE_FUZZ_DIR;
  std::size_t inputs = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const auto folder = entry.path().parent_path().parent_path().filename();
    if (folder != "corpus" && folder != "regressions") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    for (const auto& [name, run] : targets()) {
      SCOPED_TRACE(std::string(name) + " <- " + entry.path().string());
      run(bytes);
    }
    ++inputs;
  }
  EXPECT_EQ(targets().size(), 5u);
  EXPECT_GT(inputs, 20u);
}

}  // namespace
}  // namespace orvane::fuzz
