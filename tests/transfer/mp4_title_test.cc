#include "transfer/mp4_title.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <sstream>

#include "common/trace.h"
#include "support/temp_world.h"
#include "transfer/mp4_test_file.h"
#include "transfer/utf16_text.h"

namespace ovc {
namespace {

using test::Be16;
using test::Be32;
using test::Be64;
using test::Box;
using test::MakeMp4;
using test::ReadBe32At;
using test::TitleEntry;
using test::UsmtBox;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
  return text;
}

std::string FileWithMoov(const std::string& moov_children) {
  return Box("ftyp", "MSNV") + Box("moov", moov_children);
}

std::vector<std::string> TraceMessages() {
  // Starts with an empty message, so that back() is always there.
  std::vector<std::string> messages{""};
  std::istringstream log(test::ReadFile(TraceLogPath()));
  std::string line, message;
  uint32_t tick;
  while (std::getline(log, line))
    if (UnscrambleTraceLine(line, &tick, &message)) messages.push_back(message);
  return messages;
}

size_t FolderEntries(const std::string& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

// Files the reader either finds "Title" in or must give up on; the writer
// must change the first kind and leave the second untouched.
struct LayoutCase {
  const char* name;
  std::function<std::string()> make;
  std::string title;  // "" = no title to be found
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

const LayoutCase kLayoutCases[] = {
    {"media_before_movie", [] { return MakeMp4(u"Title", false).bytes; }, "Title"},
    {"movie_before_media", [] { return MakeMp4(u"Title", true).bytes; }, "Title"},
    {"types_in_other_letter_case",
     [] {
       std::string bytes = MakeMp4(u"Title", false).bytes;
       return ReplaceAll(ReplaceAll(bytes, "moov", "MoOV"), "uuidUSMT", "UUIDusmt");
     },
     "Title"},
    {"no_user_metadata_box", [] { return MakeMp4(u"Title", false, false).bytes; }, ""},
    {"no_title_entry",
     [] { return FileWithMoov(UsmtBox({TitleEntry(u"Encoder", 4), TitleEntry(u"Date", 3)})); },
     ""},
    {"user_metadata_of_a_track_only",
     [] { return FileWithMoov(Box("trak", UsmtBox({TitleEntry(u"Title")}))); }, ""},
    {"zero_size_box_before_movie",
     [] { return Be32(0) + "free" + FileWithMoov(UsmtBox({TitleEntry(u"Title")})); }, ""},
    {"64_bit_size_box_before_movie",
     [] {
       return Be32(1) + "mdat" + Be64(16) + FileWithMoov(UsmtBox({TitleEntry(u"Title")}));
     },
     ""},
    {"box_running_past_the_file",
     [] { return Be32(4096) + "free" + FileWithMoov(UsmtBox({TitleEntry(u"Title")})); }, ""},
    {"truncated_file",
     [] {
       std::string bytes = MakeMp4(u"Title", false).bytes;
       return bytes.substr(0, bytes.size() - 12);
     },
     ""},
    {"no_movie_box_and_trailing_bytes",
     [] { return Box("free", "") + "abc"; }, ""},
    {"child_running_past_the_movie_box",
     [] {
       std::string usmt = UsmtBox({TitleEntry(u"Title")});
       return Box("ftyp", "MSNV") + Box("moov", Be32(64) + "free" + usmt.substr(0, 20)) + usmt;
     },
     ""},
    {"metadata_box_larger_than_its_uuid_box",
     [] {
       std::string usmt = UsmtBox({TitleEntry(u"Title")});
       std::string bigger = usmt.substr(0, 24) + Be32(ReadBe32At(usmt, 24) + 2) + usmt.substr(28);
       return FileWithMoov(bigger);
     },
     ""},
    {"entry_running_past_the_metadata_box",
     [] {
       std::string entry = TitleEntry(u"Title");
       return FileWithMoov(UsmtBox({Be16(static_cast<uint16_t>(entry.size() + 40)) + entry.substr(2)}));
     },
     ""},
    {"title_entry_shorter_than_its_header",
     [] { return FileWithMoov(UsmtBox({Be16(8) + Be32(1) + Be16(0)})); }, ""},
    {"entry_of_size_zero",
     [] { return FileWithMoov(UsmtBox({Be16(0) + Be32(4) + Be32(0), TitleEntry(u"Title")})); },
     ""},
};

class TitleLayout : public testing::TestWithParam<LayoutCase> {
 protected:
  test::TempWorld world_;
};

TEST_P(TitleLayout, ReaderFindsTheTitleOrGivesTheEmptyText) {
  std::string path = world_.Path("clip.mp4");
  test::WriteFile(path, GetParam().make());
  EXPECT_EQ(ReadMp4Title(path), GetParam().title);
}

TEST_P(TitleLayout, WriterChangesOnlyFilesWithATitle) {
  std::string path = world_.Path("clips/clip.mp4");
  std::string before = GetParam().make();
  test::WriteFile(path, before);
  Mp4TitleStatus status = WriteMp4Title(path, u"New name");
  if (GetParam().title.empty()) {
    EXPECT_NE(status, Mp4TitleStatus::kOk);
    EXPECT_EQ(test::ReadFile(path), before);
    EXPECT_EQ(TraceMessages().back(), "Fail to find mp4 title");
  } else {
    EXPECT_EQ(status, Mp4TitleStatus::kOk);
    EXPECT_EQ(ReadMp4Title(path), "New name");
    // New name is 3 units longer than Title.
    EXPECT_EQ(test::ReadFile(path).size(), before.size() + 6);
  }
  EXPECT_EQ(FolderEntries(world_.Path("clips")), 1u) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Files, TitleLayout, testing::ValuesIn(kLayoutCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Title changes on a synthetic file, in both layouts.
struct ChangeCase {
  const char* name;
  std::u16string title;
  std::string stored;  // as read back
  int delta;           // bytes the entry, the three boxes and the file change by
};
void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

const ChangeCase kChangeCases[] = {
    {"two_characters_shorter", u"Old tit", "Old tit", -4},
    {"two_characters_longer", u"Old title!!", "Old title!!", 4},
    {"same_length", u"New title", "New title", 0},
    {"empty_becomes_a_space", u"", " ", -16},
    {"cut_at_a_zero_unit", std::u16string(u"Cut\0here", 8), "Cut", -12},
    {"non_ascii", u"Caf\u00e9 \U0001F3AC", "Caf\xC3\xA9 \xF0\x9F\x8E\xAC", -4},
};

class TitleChange : public testing::TestWithParam<std::tuple<ChangeCase, bool>> {
 protected:
  test::TempWorld world_;
};

TEST_P(TitleChange, BoxesAndFileChangeByTheSameDelta) {
  const auto& [change, moov_first] = GetParam();
  std::string path = world_.Path("M4V00001.MP4");
  test::SyntheticMp4 file = MakeMp4(u"Old title", moov_first);
  test::WriteFile(path, file.bytes);
  Mp4TitleLocation old_location;
  ASSERT_EQ(LocateMp4Title(path, &old_location), Mp4TitleStatus::kOk);
  ASSERT_EQ(old_location.entry_size, 30);

  ASSERT_EQ(WriteMp4Title(path, change.title), Mp4TitleStatus::kOk);
  std::string after = test::ReadFile(path);
  Mp4TitleLocation location;
  ASSERT_EQ(LocateMp4Title(path, &location), Mp4TitleStatus::kOk);
  EXPECT_EQ(ReadMp4Title(path), change.stored);
  EXPECT_EQ(int64_t(after.size()) - int64_t(file.bytes.size()), change.delta);
  EXPECT_EQ(location.entry_size - old_location.entry_size, change.delta);
  EXPECT_EQ(int64_t(location.moov_size) - old_location.moov_size, change.delta);
  EXPECT_EQ(int64_t(location.uuid_size) - old_location.uuid_size, change.delta);
  EXPECT_EQ(int64_t(location.metadata_size) - old_location.metadata_size, change.delta);
  // Entry count, language and encoding stay; so do the entries around it.
  EXPECT_EQ(after.substr(location.metadata_offset + 8, 2), Be16(3));
  EXPECT_EQ(after.substr(location.entry_offset + 2, 8), file.bytes.substr(old_location.entry_offset + 2, 8));
  EXPECT_EQ(location.entry_offset, old_location.entry_offset);
  EXPECT_EQ(after.substr(location.entry_offset + location.entry_size),
            file.bytes.substr(old_location.entry_offset + old_location.entry_size));
  // The chunk offsets still lead to the media.
  uint64_t media_offset = file.media_offset + (moov_first ? change.delta : 0);
  EXPECT_EQ(after.substr(media_offset, file.media.size()), file.media);
  size_t stco = after.find("stco");
  ASSERT_NE(stco, std::string::npos);
  EXPECT_EQ(ReadBe32At(after, stco + 12), media_offset);
  EXPECT_EQ(ReadBe32At(after, stco + 16), media_offset + 6);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleChange, testing::Combine(testing::ValuesIn(kChangeCases), testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) ? "_movie_first" : "_media_first");
    });

TEST(Mp4Title, LongTitlesAreCutWhenWrittenAndWhenRead) {
  test::TempWorld world;
  std::string path = world.Path("clip.mp4");
  test::WriteFile(path, MakeMp4(u"x", false).bytes);
  ASSERT_EQ(WriteMp4Title(path, std::u16string(300, u'a')), Mp4TitleStatus::kOk);
  Mp4TitleLocation location;
  ASSERT_EQ(LocateMp4Title(path, &location), Mp4TitleStatus::kOk);
  EXPECT_EQ(location.entry_size, 10 + 256 * 2);
  std::u16string title;
  ASSERT_EQ(ReadMp4TitleText(path, &title), Mp4TitleStatus::kOk);
  EXPECT_EQ(title, std::u16string(255, u'a'));
  EXPECT_EQ(ReadMp4Title(path), std::string(127, 'a'));

  // A surrogate pair is never split by the cut.
  std::u16string emoji;
  for (int i = 0; i < 200; ++i) emoji += u"\U0001F3AC";
  ASSERT_EQ(WriteMp4Title(path, emoji), Mp4TitleStatus::kOk);
  ASSERT_EQ(ReadMp4TitleText(path, &title), Mp4TitleStatus::kOk);
  EXPECT_EQ(title, emoji.substr(0, 254));
  // 127 bytes hold 31 four-byte characters.
  EXPECT_EQ(ReadMp4Title(path).size(), 124u);

  // A stored entry longer than the reader's 512 bytes, without a zero unit.
  std::string text;
  for (int i = 0; i < 400; ++i) text += Be16(u'b');
  std::string entry = Be16(static_cast<uint16_t>(10 + text.size())) + Be32(1) + Be32(0) + text;
  test::WriteFile(path, FileWithMoov(UsmtBox({entry})));
  ASSERT_EQ(ReadMp4TitleText(path, &title), Mp4TitleStatus::kOk);
  EXPECT_EQ(title, std::u16string(255, u'b'));
}

TEST(Mp4Title, ChunkOffsetsThatWouldNotFitRefuseTheChange) {
  test::TempWorld world;
  std::string path = world.Path("clip.mp4");
  auto file_with = [](const std::string& movie_extra) {
    return Box("ftyp", "MSNV") +
           Box("moov", movie_extra + UsmtBox({TitleEntry(u"Title")})) + Box("mdat", "data");
  };
  struct Refusal {
    const char* name;
    std::string bytes;
  } refusals[] = {
      {"stco past 32 bits", file_with(test::TrackWithChunkTable(test::StcoBox({0xFFFFFFFFu})))},
      {"movie fragments", file_with(Box("mvex", Box("trex", std::string(24, '\0'))))},
      {"malformed track", file_with(Box("trak", Be32(200) + "mdia"))},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    test::WriteFile(path, refusal.bytes);
    EXPECT_EQ(WriteMp4Title(path, u"Longer title"), Mp4TitleStatus::kUnsafeLayout);
    EXPECT_EQ(test::ReadFile(path), refusal.bytes);
    // The same length moves nothing, so the title can still change.
    EXPECT_EQ(WriteMp4Title(path, u"Other"), Mp4TitleStatus::kOk);
    EXPECT_EQ(ReadMp4Title(path), "Other");
  }

  // 64-bit chunk offsets move too.
  std::string co64 = file_with(test::TrackWithChunkTable(test::Co64Box({0x100000000ull, 12})));
  test::WriteFile(path, co64);
  ASSERT_EQ(WriteMp4Title(path, u"Title!"), Mp4TitleStatus::kOk);
  std::string after = test::ReadFile(path);
  size_t table = after.find("co64");
  EXPECT_EQ(after.substr(table + 12, 16), Be64(0x100000002ull) + Be64(12));
}

TEST(Mp4Title, OtherFilesAreLeftAlone) {
  test::TempWorld world;
  std::string bytes = MakeMp4(u"Title", false).bytes;
  test::WriteFile(world.Path("clip.mov"), bytes);
  EXPECT_EQ(ReadMp4Title(world.Path("clip.mov")), "");
  EXPECT_EQ(WriteMp4Title(world.Path("clip.mov"), u"New"), Mp4TitleStatus::kNotMp4);
  EXPECT_EQ(test::ReadFile(world.Path("clip.mov")), bytes);

  EXPECT_EQ(ReadMp4Title(world.Path("missing.mp4")), "");
  EXPECT_EQ(TraceMessages().back(), "Fail to open mp4 file " + world.Path("missing.mp4"));
  EXPECT_EQ(WriteMp4Title(world.Path("missing.mp4"), u"New"), Mp4TitleStatus::kOpenFailed);
  EXPECT_FALSE(std::filesystem::exists(world.Path("missing.mp4")));

  // A link keeps leading to the changed file.
  test::WriteFile(world.Path("real/clip.mp4"), bytes);
  ASSERT_EQ(symlink(world.Path("real/clip.mp4").c_str(), world.Path("link.mp4").c_str()), 0);
  ASSERT_EQ(WriteMp4Title(world.Path("link.mp4"), u"Linked"), Mp4TitleStatus::kOk);
  EXPECT_TRUE(std::filesystem::is_symlink(world.Path("link.mp4")));
  EXPECT_EQ(ReadMp4Title(world.Path("real/clip.mp4")), "Linked");
}

TEST(Mp4Title, WriterTracesItsSteps) {
  test::TempWorld world;
  std::string path = world.Path("clip.mp4");
  test::SyntheticMp4 file = MakeMp4(u"Old title", false);
  test::WriteFile(path, file.bytes);
  ASSERT_EQ(WriteMp4Title(path, u"Old tit"), Mp4TitleStatus::kOk);
  std::vector<std::string> messages = TraceMessages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[1], path);
  EXPECT_EQ(messages[2], "diff=-4");
  size_t moov = file.bytes.find("moov") - 4;
  char expected[64];
  std::snprintf(expected, sizeof(expected), "loc1=%x  size1+diff=%d", unsigned(moov),
                int(ReadBe32At(file.bytes, moov)) - 4);
  EXPECT_EQ(messages[3], expected);
}

TEST(Utf16Text, ConvertsAndCutsWithoutSplittingCharacters) {
  EXPECT_EQ(Utf8ToUtf16("Caf\xC3\xA9 \xF0\x9F\x8E\xAC"), u"Caf\u00e9 \U0001F3AC");
  EXPECT_EQ(Utf16ToUtf8(u"Caf\u00e9 \U0001F3AC"), "Caf\xC3\xA9 \xF0\x9F\x8E\xAC");
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(CutUtf8("ab\xC3\xA9", 3), "ab");
  EXPECT_EQ(CutUtf16(u"a\U0001F3AC", 2), u"a");
}

}  // namespace
}  // namespace ovc
