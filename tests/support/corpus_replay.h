#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/temp_world.h"

namespace ovc::test {

// Replays every file kept in a fuzzer's corpus folder (`folder` relative to
// tests/) through `check`, the same check the fuzzer runs: it returns "" or
// what went wrong, and each failure is a test failure naming its file.
// A folder without inputs is a failure too.
template <typename Check>
void ReplayCorpus(const std::string& folder, Check check) {
  const std::filesystem::path corpus = std::filesystem::path(OVC_TEST_SOURCE_DIR) / folder;
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    const std::string bytes = ReadFile(entry.path().string());
    EXPECT_EQ(check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "")
        << entry.path().filename();
    ++replayed;
  }
  EXPECT_GT(replayed, 0) << "no inputs in " << corpus;
}

}  // namespace ovc::test
