// Replays the fuzz corpus (seeds and every input that once broke a promise)
// through the fuzz body.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_world.h"
#include "transfer/mp4_title_fuzz.h"

namespace ovc {
namespace {

TEST(Mp4TitleCorpus, EveryInputKeepsThePromises) {
  std::filesystem::path corpus = std::filesystem::path(OVC_TEST_SOURCE_DIR) / "transfer/corpus/mp4_title";
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(corpus))
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_GE(inputs.size(), 10u);
  test::TempWorld world;
  std::string folder = world.Path("clip");
  std::filesystem::create_directories(folder);
  for (const auto& input : inputs) {
    std::string bytes = test::ReadFile(input);
    EXPECT_EQ(test::FuzzMp4Title(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                 folder),
              "")
        << input.filename();
  }
}

}  // namespace
}  // namespace ovc
