#include "ui/batch/batch_result.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "ui/batch/batch_output_parser.h"

namespace ovc {
namespace {

using Lines = std::vector<std::string>;

constexpr char kInput[] = "/videos/holiday clip.mp4";

struct RunCase {
  const char* name;
  int exit_code;
  bool stop_requested;
  std::string error_output;
  std::string standard_output;
  BatchOutcome outcome;
  Lines shown;  // the results list entries
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

const RunCase kRuns[] = {
    {"ConvertedNamesEveryPart", 0, false, "",
     "/out/holiday clip - 01.MP4\n/out/holiday clip - 02.MP4\n", BatchOutcome::kConverted,
     {"Converted: /out/holiday clip - 01.MP4", "Converted: /out/holiday clip - 02.MP4"}},
    {"AStopThatCameTooLateChangesNothing", 0, true, "", "/out/a.MP4\n", BatchOutcome::kConverted,
     {"Converted: /out/a.MP4"}},
    {"StoppedKeepsThePartialFile", 1, true,
     "multiconv: interrupted; /videos/holiday clip.mp4 was converted up to where it stopped\n",
     "/out/a.MP4\n", BatchOutcome::kStopped,
     {"Stopped: /out/a.MP4 (converted up to where it stopped)"}},
    {"StoppedFromOutsideToo", 1, false,
     "multiconv: interrupted; /videos/holiday clip.mp4 was converted up to where it stopped\n",
     "/out/a.MP4\n", BatchOutcome::kStopped,
     {"Stopped: /out/a.MP4 (converted up to where it stopped)"}},
    {"FailureSaysWhatTheConverterSaid", 1, false,
     "multiconv: Cannot open the output file\nmulticonv: /videos/holiday clip.mp4: not a video "
     "file the program can play\n",
     "", BatchOutcome::kFailed,
     {"Failed: holiday clip.mp4: Cannot open the output file; not a video file the "
      "program can play"}},
    {"WithoutItsOwnWordTheLibrariesExplain", 1, false, "[mov @ 0x1] moov atom not found\n", "",
     BatchOutcome::kFailed, {"Failed: holiday clip.mp4: [mov @ 0x1] moov atom not found"}},
    {"ItsOwnWordComesBeforeTheLibraries", 1, false,
     "[mov @ 0x1] moov atom not found\nmulticonv: Cannot open the file\n", "", BatchOutcome::kFailed,
     {"Failed: holiday clip.mp4: Cannot open the file"}},
    {"StopBeforeTheStartIsAFailure", -1, true, "", "", BatchOutcome::kFailed,
     {"Failed: holiday clip.mp4: stopped before the conversion began"}},
    {"ASilentFailureStillSaysSomething", 3, false, "", "", BatchOutcome::kFailed,
     {"Failed: holiday clip.mp4: the converter failed with exit status 3"}},
    {"ACrashStillSaysSomething", -1, false, "", "", BatchOutcome::kFailed,
     {"Failed: holiday clip.mp4: the converter ended unexpectedly"}},
    {"SuccessWithoutAFileIsNoSuccess", 0, false, "", "", BatchOutcome::kFailed,
     {"Failed: holiday clip.mp4: the converter wrote no output"}},
    {"NotesOfAConversionFollowItsFiles", 0, false, "multiconv: Low disk space\n", "/out/a.MP4\n",
     BatchOutcome::kConverted,
     {"Converted: /out/a.MP4", "holiday clip.mp4: Low disk space"}},
};

class JudgeBatchRunTest : public testing::TestWithParam<RunCase> {};

TEST_P(JudgeBatchRunTest, SaysHowTheInputCameOut) {
  const RunCase& c = GetParam();
  BatchOutputParser parser;
  parser.AddStandardError(c.error_output);
  parser.AddStandardOutput(c.standard_output);
  parser.Finish();
  const BatchFileResult result = JudgeBatchRun(kInput, c.exit_code, c.stop_requested, parser);
  EXPECT_EQ(result.outcome, c.outcome);
  Lines shown;
  for (const BatchResultLine& line : ResultLines(result)) {
    shown.push_back(line.text);
    EXPECT_EQ(line.outcome, c.outcome);
    // A failure points at its input, everything else at a file written.
    if (line.text.compare(0, 10, "Converted:") == 0 || line.text.compare(0, 8, "Stopped:") == 0)
      EXPECT_NE(line.text.find(line.path), std::string::npos);
    else
      EXPECT_EQ(line.path, kInput);
  }
  EXPECT_EQ(shown, c.shown);
}

INSTANTIATE_TEST_SUITE_P(Runs, JudgeBatchRunTest, testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ovc
