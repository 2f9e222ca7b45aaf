// What multiconv does with files that are not its own to write over: the
// source under any spelling, the parts a split may reach, and the files of
// other copies of the program running at the same time.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/multiconv_fixture.h"

namespace ovc::test {
namespace {

struct SourceSpelling {
  const char* name;
  // The output arguments for a source at `source` inside the output folder
  // `out`; the world's folder is the working directory.
  std::string (*arguments)(const std::string& source, const std::string& out);
};
void PrintTo(const SourceSpelling& c, std::ostream* os) { *os << c.name; }

const SourceSpelling kSpellings[] = {
    {"its own folder", [](const std::string&, const std::string& out) { return "-o " + Quote(out); }},
    {"dot slash",
     [](const std::string&, const std::string&) { return std::string("--output ./out/clip.mp4"); }},
    {"symbolic link",
     [](const std::string& source, const std::string& out) {
       std::filesystem::create_symlink(source, out + "/link.mp4");
       return "--output " + Quote(out + "/link.mp4");
     }},
    {"hard link",
     [](const std::string& source, const std::string& out) {
       std::filesystem::create_hard_link(source, out + "/other.mp4");
       return "--output " + Quote(out + "/other.mp4");
     }},
    {"a later part",
     [](const std::string& source, const std::string& out) {
       std::filesystem::rename(source, out + "/film - 03.mp4");
       std::filesystem::create_symlink(out + "/film - 03.mp4", source);
       return "--split-mb 1 --output " + Quote(out + "/film.mp4");
     }},
};

class SourceIsNeverTheOutputTest : public MulticonvTest,
                                   public testing::WithParamInterface<SourceSpelling> {};

TEST_P(SourceIsNeverTheOutputTest, EvenWithYesTheSourceIsRefusedAndKept) {
  const std::string source = out_ + "/clip.mp4";
  std::filesystem::copy_file(Clip("made.mp4", 2.0, ClipContainer::kMp4), source);
  const std::string before = ReadFile(source);
  const std::string output = GetParam().arguments(source, out_);
  ProgramRun run = Multiconv("-q -y -p iPod " + output + " " + Quote(source));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(run.out_lines.empty());
  EXPECT_NE(run.err.find("is the file being converted; choose another output folder or name"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(ReadFile(source) == before) << "the source was changed";
}

INSTANTIATE_TEST_SUITE_P(Spellings, SourceIsNeverTheOutputTest, testing::ValuesIn(kSpellings));

// A part that exists before the conversion is the user's: without --yes it
// stays, the conversion ends there, and the parts before it are kept.
TEST_F(MulticonvTest, AnExistingLaterPartIsKeptAndSoAreThePartsBeforeIt) {
  ClipRecipe clip_recipe;
  clip_recipe.container = ClipContainer::kMkv;
  clip_recipe.seconds = 16;  // about 1.5 MB at the iPod profile's rates
  const std::string clip = world_.Path("big.mkv");
  ASSERT_EQ(WriteClip(clip, clip_recipe), "");
  for (const char* passes : {"1", "2"}) {
    SCOPED_TRACE(std::string("passes ") + passes);
    std::filesystem::remove_all(out_);
    std::filesystem::create_directory(out_);
    const std::string part_two = out_ + "/big - 02.mp4";
    WriteFile(part_two, "precious");
    ProgramRun run = Multiconv(std::string("-q -p iPod --split-mb 1 --passes ") + passes +
                               " -o " + Quote(out_) + " " + Quote(clip));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(ReadFile(part_two), "precious");
    ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
    EXPECT_EQ(run.out_lines[0], out_ + "/big.mp4");
    EXPECT_GT(Duration(run.out_lines[0]), 3.0);
  }
}

// A source damaged in places still converts as far as it can be read; the
// decoders' complaints about it go to the trace log, and one line on
// standard error says so.
TEST_F(MulticonvTest, ADamagedSourceGivesOneLineAboutItNotTheDecodersLog) {
  const std::string clip = Clip("clip.avi", 4.0, ClipContainer::kAvi);
  std::string bytes = ReadFile(clip);
  // Garbage over every 20th block of the stream data, past the headers.
  for (size_t at = 16384; at + 512 < bytes.size(); at += 20 * 512)
    for (size_t i = 0; i < 512; ++i) bytes[at + i] = static_cast<char>(i * 37 + at);
  WriteFile(clip, bytes);
  ProgramRun run = Multiconv("-q -p iPod -o " + Quote(out_) + " " + Quote(clip));
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  std::vector<std::string> lines = Lines(run.err);
  for (const std::string& line : lines) EXPECT_EQ(line.rfind("multiconv: ", 0), 0u) << line;
  int summaries = 0;
  for (const std::string& line : lines)
    summaries += line.find("errors reported while reading the source") != std::string::npos;
  EXPECT_EQ(summaries, 1) << run.err;
}

// Many files as independent copies of the program, four at once on one
// output folder, as the README's recipe runs them: PSP files are numbered
// from the same setting by every copy, yet each gets a name of its own, and
// the settings a later run relies on are all still there.
TEST_F(MulticonvTest, FourCopiesAtOnceOnOneFolderWriteFourFiles) {
  std::string inputs;
  for (const char* name : {"a.mp4", "b.mp4", "c.mp4", "d.mp4"})
    inputs += Quote(Clip(name, 1.0, ClipContainer::kMp4)) + " ";
  const std::string out = world_.Path("stdout.txt");
  const std::string err = world_.Path("stderr.txt");
  const std::string command =
      "cd " + Quote(world_.root()) + " && printf '%s\\n' " + inputs +
      "| env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM xargs -d '\\n' -P 4 -n 1 " +
      Quote(MULTICONV_PATH) + " -q -p PSP -o " + Quote(out_) + " >" + Quote(out) + " 2>" +
      Quote(err);
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(err);
  std::vector<std::string> written = Lines(ReadFile(out));
  std::sort(written.begin(), written.end());
  ASSERT_EQ(written.size(), 4u) << ReadFile(err);
  EXPECT_EQ(std::unique(written.begin(), written.end()), written.end());
  for (const std::string& path : written) {
    EXPECT_EQ(ProbeEntry(path, "v:0", "stream=codec_name"), "mpeg4") << path;
    EXPECT_NEAR(Duration(path), 1.0, 0.1) << path;
  }
  // Without -p and -o: the profile and folder used last, the next number.
  ProgramRun run = Multiconv("-q " + Quote(world_.Path("a.mp4")));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out_lines.size(), 1u) << run.err;
  EXPECT_EQ(run.out_lines[0].rfind(out_ + "/M4V", 0), 0u) << run.out_lines[0];
  EXPECT_FALSE(std::binary_search(written.begin(), written.end(), run.out_lines[0]));
}

}  // namespace
}  // namespace ovc::test
