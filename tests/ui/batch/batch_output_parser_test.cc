#include "ui/batch/batch_output_parser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace ovc {
namespace {

using Lines = std::vector<std::string>;

const std::string kOnePassFigures =
    "12.3% Recorded 0:00:12    Elapsed 0:00:01  Remaining 0:00:03  Output: 0.9 MB";
const std::string kOnePass = kOnePassFigures + "  /out/my file.MP4";
const std::string kSecondPassFigures =
    "[Pass 2 of 2]  40.0% Recorded 0:00:04    Elapsed 0:00:02  Remaining 0:00:03  "
    "Output: 0.2 MB";
const std::string kSecondPass = kSecondPassFigures + "  /out/b.avi";
const std::string kDoneFigures =
    "100.0% Recorded 0:00:02    Elapsed 0:00:01  Remaining 0:00:00  Output: 0.3 MB";
const std::string kDone = kDoneFigures + "  /out/a.MP4";
const std::string kEstimatedFigures =
    "55.0% Recorded 0:01:00    Elapsed 0:00:05  Remaining 0:00:04  Output: 3.5 MB  "
    "Estimated: 6.4 MB";
const std::string kEstimated = kEstimatedFigures + "  /out/7.5 MB  film.mp4";

// What the converter writes on a terminal: each update rewrites the line.
std::string OnTerminal(const std::string& status) { return "\r" + status + " \x1b[K"; }

struct ParserCase {
  const char* name;
  std::string error_output;
  std::string standard_output;
  double percent;
  double overall;
  std::string status;
  std::string figures;
  Lines messages;
  Lines notices;
  Lines outputs;
};

void PrintTo(const ParserCase& c, std::ostream* os) { *os << c.name; }

const ParserCase kCases[] = {
    {"TerminalUpdatesKeepTheLatest",
     OnTerminal("5.0% Recorded 0:00:05    Elapsed 0:00:01  Remaining 0:00:19  Output: 0.1 MB  x") +
         OnTerminal(kOnePass) + "\n",
     "", 12.3, 12.3, kOnePass, kOnePassFigures, {}, {}, {}},
    {"PipeLinesKeepTheLatest", kOnePass + " \n" + kDone + " \n", "/out/a.MP4\n", 100, 100, kDone,
     kDoneFigures, {}, {}, {"/out/a.MP4"}},
    {"SecondPassCountsHalfOfTheWhole", OnTerminal(kSecondPass), "", 40, 70, kSecondPass,
     kSecondPassFigures, {}, {}, {}},
    {"TheEstimateIsAFigureAndThePathIsNot", OnTerminal(kEstimated), "", 55, 55, kEstimated,
     kEstimatedFigures, {}, {}, {}},
    {"MessagesAndNoticesInterruptTheProgressLine",
     OnTerminal(kOnePass) + "\n[mov,mp4 @ 0x5610] moov atom not found\nmulticonv: Overwrite? "
         "/out/my file.MP4\n" + OnTerminal(kDone) +
         "\nmulticonv: interrupted; /v/a.mp4 was converted up to where it stopped\n",
     "/out/part - 01.MP4\n/out/part - 02.MP4\n", 100, 100, kDone, kDoneFigures,
     {"Overwrite? /out/my file.MP4",
      "interrupted; /v/a.mp4 was converted up to where it stopped"},
     {"[mov,mp4 @ 0x5610] moov atom not found"},
     {"/out/part - 01.MP4", "/out/part - 02.MP4"}},
    {"ATerminalLineEndWithCarriageReturn", "multiconv: No profile selected\r\n", "/a b.mp4\r\n", 0,
     0, "", "", {"No profile selected"}, {}, {"/a b.mp4"}},
    {"OtherControlSequencesAreDropped", "\x1b[1mmulticonv: bold\x1b[0m news\n\x1b" "7", "", 0, 0,
     "", "", {"bold news"}, {}, {}},
    {"APercentNotFollowedByRecordedIsANotice",
     "50% done\n[Pass 3 of 2]  1.0% Recorded 0:00:01\n", "", 0, 0, "", "", {},
     {"50% done", "[Pass 3 of 2]  1.0% Recorded 0:00:01"}, {}},
    {"OutOfRangePercentIsClamped", "-3.0% Recorded 0:00:01\n250.0% Recorded 0:00:01\n", "", 100,
     100, "250.0% Recorded 0:00:01", "250.0% Recorded 0:00:01", {}, {}, {}},
    {"UnterminatedLastLinesCountAtTheEnd", "multiconv: the last word", "/out/last.mp4", 0, 0, "",
     "", {"the last word"}, {}, {"/out/last.mp4"}},
};

void Check(const BatchOutputParser& parser, const ParserCase& c) {
  EXPECT_DOUBLE_EQ(parser.percent(), c.percent);
  EXPECT_DOUBLE_EQ(parser.overall_percent(), c.overall);
  EXPECT_EQ(parser.status(), c.status);
  EXPECT_EQ(parser.figures(), c.figures);
  EXPECT_EQ(parser.messages(), c.messages);
  EXPECT_EQ(parser.notices(), c.notices);
  EXPECT_EQ(parser.outputs(), c.outputs);
}

class BatchOutputParserTest : public testing::TestWithParam<ParserCase> {};

TEST_P(BatchOutputParserTest, ReadsTheWholeStreams) {
  BatchOutputParser parser;
  parser.AddStandardError(GetParam().error_output);
  parser.AddStandardOutput(GetParam().standard_output);
  parser.Finish();
  Check(parser, GetParam());
}

// Bytes arrive in chunks cut anywhere: in a path, between "\r" and "\n",
// inside a control sequence. Every cut into two, and bytes one at a time,
// give the same result as the whole.
TEST_P(BatchOutputParserTest, ChunksCutAnywhereReadTheSame) {
  const ParserCase& c = GetParam();
  for (size_t cut = 0; cut <= c.error_output.size(); ++cut) {
    BatchOutputParser parser;
    parser.AddStandardError(std::string_view(c.error_output).substr(0, cut));
    parser.AddStandardOutput(std::string_view(c.standard_output).substr(0, cut));
    parser.AddStandardError(std::string_view(c.error_output).substr(cut));
    if (cut < c.standard_output.size())
      parser.AddStandardOutput(std::string_view(c.standard_output).substr(cut));
    parser.Finish();
    SCOPED_TRACE("cut at " + std::to_string(cut));
    Check(parser, c);
    if (HasFailure()) return;
  }
  BatchOutputParser parser;
  for (char byte : c.error_output) parser.AddStandardError(std::string_view(&byte, 1));
  for (char byte : c.standard_output) parser.AddStandardOutput(std::string_view(&byte, 1));
  parser.Finish();
  Check(parser, c);
}

INSTANTIATE_TEST_SUITE_P(Streams, BatchOutputParserTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BatchOutputParser, AProgressUpdateCountsAsSoonAsItsLineIsErased) {
  BatchOutputParser parser;
  parser.AddStandardError("\r" + kOnePass);
  EXPECT_FALSE(parser.has_progress());
  parser.AddStandardError("\x1b[");
  EXPECT_FALSE(parser.has_progress());
  parser.AddStandardError("K");
  EXPECT_TRUE(parser.has_progress());
  EXPECT_DOUBLE_EQ(parser.percent(), 12.3);
  EXPECT_EQ(parser.pass(), 1);
  EXPECT_EQ(parser.passes(), 1);
}

TEST(BatchOutputParser, ARunawayLineIsCutNotHoarded) {
  BatchOutputParser parser;
  const std::string flood(3 * BatchOutputParser::kMaxLineBytes, 'x');
  parser.AddStandardError(flood);
  parser.AddStandardError("\n");
  parser.AddStandardOutput(flood);
  parser.Finish();
  ASSERT_EQ(parser.notices().size(), 1u);
  EXPECT_EQ(parser.notices()[0].size(), BatchOutputParser::kMaxLineBytes);
  ASSERT_EQ(parser.outputs().size(), 1u);
  EXPECT_EQ(parser.outputs()[0].size(), BatchOutputParser::kMaxLineBytes);
}

}  // namespace
}  // namespace ovc
