#include "ui/batch/batch_job.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/multiconv/batch_options.h"

namespace ovc {
namespace {

using Args = std::vector<std::string>;

struct ArgumentCase {
  const char* name;
  BatchJob job;
  Args expected;
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

BatchJob Job(std::vector<std::string> inputs, std::string profile, std::string folder, int passes,
             int split_mb, bool overwrite) {
  return BatchJob{std::move(inputs), std::move(profile), std::move(folder), passes, split_mb,
                  overwrite};
}

const ArgumentCase kArgumentCases[] = {
    {"StoredChoicesLeaveTheirOptionsOut",
     Job({"/v/a.mp4"}, "", "", 1, 0, false),
     {"--passes", "1", "/v/a.mp4"}},
    {"EveryChoiceWithSpacesIsOneArgument",
     Job({"/my videos/a b.mkv", "/v/c.avi"}, "PSP AVC", "/out put/", 2, 700, true),
     {"-p", "PSP AVC", "-o", "/out put/", "--passes", "2", "--split-mb", "700", "--yes",
      "/my videos/a b.mkv", "/v/c.avi"}},
    {"RelativePathsBecomeAbsolute",
     Job({"clips/a.mp4", "~/b.mp4"}, "iPod", "out", 1, 0, false),
     {"-p", "iPod", "-o", "/work dir/out", "--passes", "1", "/work dir/clips/a.mp4",
      "/home/me/b.mp4"}},
    {"NegativeSplitIsLeftOut", Job({"/a.mp4"}, "", "", 1, -5, false), {"--passes", "1", "/a.mp4"}},
    {"HugeSplitIsCutToTheLargestAccepted",
     Job({"/a.mp4"}, "", "", 1, kMaxSplitMb + 10, false),
     {"--passes", "1", "--split-mb", "1048576", "/a.mp4"}},
    {"OddPassCountMeansOnePass", Job({"/a.mp4"}, "", "", 3, 0, false), {"--passes", "1", "/a.mp4"}},
    {"EmptyInputsAreLeftOut", Job({"", "/a.mp4", ""}, "", "", 1, 0, false),
     {"--passes", "1", "/a.mp4"}},
};

class BatchArgumentsTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(BatchArgumentsTest, BuildsTheConverterCommandLine) {
  const ArgumentCase& c = GetParam();
  EXPECT_EQ(BatchArguments(c.job, "/work dir", "/home/me"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Jobs, BatchArgumentsTest, testing::ValuesIn(kArgumentCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The converter's own parser reads back exactly the job that was built,
// whatever folder it was started in.
TEST(BatchArguments, TheConverterReadsBackTheJob) {
  const BatchJob job = Job({"/my videos/-a.mp4", "rel/b c.mkv"}, "3GP phone", "~/out", 2, 12, true);
  BatchOptions options;
  std::string error;
  ASSERT_TRUE(
      ParseBatchOptions(BatchArguments(job, "/start", "/home/me"), "/elsewhere", &options, &error))
      << error;
  EXPECT_EQ(options.profile, "3GP phone");
  EXPECT_EQ(options.output_folder, "/home/me/out");
  EXPECT_EQ(options.passes, 2);
  EXPECT_EQ(options.split_mb, 12);
  EXPECT_TRUE(options.yes);
  EXPECT_EQ(options.inputs, (Args{"/my videos/-a.mp4", "/start/rel/b c.mkv"}));
}

TEST(BatchArguments, OnlyAHomeFolderOfItsOwnIsHome) {
  EXPECT_EQ(AbsoluteBatchPath("~", "/w", "/home/me"), "/home/me");
  EXPECT_EQ(AbsoluteBatchPath("~x/a", "/w/", "/home/me"), "/w/~x/a");
  EXPECT_EQ(AbsoluteBatchPath("", "/w", "/home/me"), "");
}

}  // namespace
}  // namespace ovc
