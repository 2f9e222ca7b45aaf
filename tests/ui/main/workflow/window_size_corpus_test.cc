// Replays every input kept for the "WindowSize" fuzzer (seeds and inputs that
// once failed) through the same check the fuzzer runs.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_world.h"
#include "ui/main/workflow/fuzz/window_size_fuzz.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;

TEST(WindowSizeCorpusTest, EveryKeptInputReadsAsFourIntegersOrNothing) {
  const fs::path corpus = fs::path(OVC_TEST_SOURCE_DIR) / "ui/main/workflow/corpus/window_size";
  int replayed = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    std::string bytes = test::ReadFile(entry.path().string());
    EXPECT_EQ(test::CheckWindowSize(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
              "")
        << entry.path().filename();
    ++replayed;
  }
  EXPECT_GT(replayed, 0) << "no inputs in " << corpus;
}

}  // namespace
}  // namespace ovc
