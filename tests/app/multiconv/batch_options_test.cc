#include "app/multiconv/batch_options.h"

#include <gtest/gtest.h>

namespace ovc {
namespace {

bool Parse(std::vector<std::string> args, BatchOptions* options, std::string* error) {
  return ParseBatchOptions(args, "/work", options, error);
}

TEST(BatchOptionsTest, PathsBecomeAbsoluteAndTimesParse) {
  BatchOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"-p", "PSP AVC", "-o", "out", "--start", "1:30", "--duration", "0:01:00",
                     "--passes", "2", "--split-mb", "700", "--volume", "9", "--brightness", "0",
                     "--crf", "20", "a.mkv", "/abs/b.avi", "--", "-odd.mp4"},
                    &options, &error))
      << error;
  EXPECT_EQ(options.profile, "PSP AVC");
  EXPECT_EQ(options.output_folder, "/work/out");
  EXPECT_EQ(*options.start, 90);
  EXPECT_EQ(*options.duration, 60);
  EXPECT_EQ(*options.passes, 2);
  EXPECT_EQ(*options.split_mb, 700);
  EXPECT_EQ(*options.volume, 9);
  EXPECT_EQ(*options.brightness, 0);
  EXPECT_EQ(*options.crf, 20);
  EXPECT_EQ(options.inputs,
            (std::vector<std::string>{"/work/a.mkv", "/abs/b.avi", "/work/-odd.mp4"}));
}

TEST(BatchOptionsTest, BadUsageIsRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {},                                   // no input
      {"--passes", "3", "a"},               // passes out of range
      {"--volume", "0", "a"},               // volume out of range
      {"--brightness", "4", "a"},
      {"--split-mb", "0", "a"},
      {"--crf", "52", "a"},                 // quality out of range
      {"--crf", "-1", "a"},
      {"--start", "1:x", "a"},              // not a time
      {"--duration", "", "a"},
      {"-p"},                               // value missing
      {"-o", "x", "--output", "y", "a"},    // both outputs
      {"--output", "y", "a", "b"},          // one output, two inputs
      {"--frobnicate", "a"},
  };
  for (const auto& args : bad) {
    BatchOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, &options, &error)) << testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
  BatchOptions options;
  std::string error;
  EXPECT_TRUE(Parse({"--list-profiles"}, &options, &error));
  EXPECT_TRUE(Parse({"--help"}, &options, &error));
}

}  // namespace
}  // namespace ovc
