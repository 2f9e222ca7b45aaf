#include "engine/record/avi_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/trace.h"
#include "engine/record/avi_writer_test_support.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using test::ReadFile;
using test::Tag;
using test::U16;
using test::U32;

constexpr uint32_t kXvid = AviWriter::FourCc("XVID");

// One chunk to write: video ('v', with a key-frame flag) or audio ('a').
struct ChunkLayout {
  char kind;
  uint32_t length;
  bool key;
};

std::string Payload(uint32_t length, int seed) {
  std::string data(length, '\0');
  for (uint32_t i = 0; i < length; ++i) data[i] = static_cast<char>(seed * 31 + i * 7 + 1);
  return data;
}

// The idx1 entries of a closed file, checked against the chunks they point
// to: same identifier and length, data where the index says.
std::vector<test::IndexEntry> CheckedIndex(const std::string& file) {
  std::vector<test::IndexEntry> index = test::ReadIndex(file);
  for (const test::IndexEntry& entry : index) {
    size_t at = AviWriter::kMoviIdOffset + entry.offset;
    EXPECT_EQ(Tag(file, at), entry.id) << "chunk at " << at;
    EXPECT_EQ(U32(file, at + 4), entry.length) << "chunk at " << at;
  }
  return index;
}

TEST(AviWriter, ClosedFileHasTheExactLayout) {
  test::TempWorld world;
  const std::string path = world.Path("layout.avi");
  const std::vector<ChunkLayout> chunks = {
      {'v', 5, true}, {'a', 417, false}, {'v', 6, false}, {'a', 418, false}, {'v', 0, false},
      {'v', 1201, true}};
  auto writer = AviWriter::Open(path);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->position(), 2048u);
  ASSERT_EQ(writer->SetVideo(320, 240, 29.97, kXvid), 0);
  ASSERT_EQ(writer->SetAudio(2, 44100, 0, 85, 128), 0);
  std::vector<size_t> offsets;
  uint64_t audio_bytes = 0;
  for (size_t i = 0; i < chunks.size(); ++i) {
    offsets.push_back(writer->position());
    std::string data = Payload(chunks[i].length, static_cast<int>(i));
    if (chunks[i].kind == 'v') {
      ASSERT_EQ(writer->WriteVideo(data.data(), chunks[i].length, chunks[i].key), 0);
    } else {
      ASSERT_EQ(writer->WriteAudio(data.data(), chunks[i].length), 0);
      audio_bytes += chunks[i].length;
    }
  }
  const size_t movi_end = writer->position();
  ASSERT_EQ(writer->Close(), 0);

  const std::string f = ReadFile(path);
  const size_t file_length = movi_end + 8 + 16 * chunks.size();
  ASSERT_EQ(f.size(), file_length);

  const std::vector<std::pair<size_t, std::string>> tags = {
      {0, "RIFF"},    {8, "AVI "},    {12, "LIST"},   {20, "hdrl"},   {24, "avih"},
      {88, "LIST"},   {96, "strl"},   {100, "strh"},  {108, "vids"},  {112, "XVID"},
      {164, "strf"},  {188, "XVID"},  {212, "LIST"},  {220, "strl"},  {224, "strh"},
      {232, "auds"},  {288, "strf"},  {326, "LIST"},  {334, "INFO"},  {338, "ISFT"},
      {354, "JUNK"},  {2036, "LIST"}, {2044, "movi"}, {movi_end, "idx1"}};
  for (const auto& [offset, tag] : tags) EXPECT_EQ(Tag(f, offset), tag) << "offset " << offset;

  // {offset, size in bytes, value}
  const std::vector<std::tuple<size_t, int, uint32_t>> fields = {
      {4, 4, file_length - 8}, {16, 4, 212 + 114 - 20}, {28, 4, 56},
      {32, 4, 33367},          {36, 4, 0},              {40, 4, 0},
      {44, 4, 0x110},          {48, 4, 4},              {52, 4, 0},
      {56, 4, 2},              {60, 4, 0},              {64, 4, 320},
      {68, 4, 240},            {92, 4, 116},            {104, 4, 56},
      {116, 4, 0},             {128, 4, 100},           {132, 4, 2997},
      {136, 4, 0},             {140, 4, 4},             {144, 4, 1201},
      {148, 4, 10000},         {152, 4, 0},             {156, 4, 0},
      {160, 2, 320},           {162, 2, 240},           {168, 4, 40},
      {172, 4, 40},            {176, 4, 320},           {180, 4, 240},
      {184, 2, 1},             {186, 2, 24},            {192, 4, 320 * 240 * 6},
      // Audio stream list.
      {216, 4, 106},           {228, 4, 56},            {236, 4, 0},
      {252, 4, 1},             {256, 4, 16000},         {264, 4, audio_bytes},
      {276, 4, 1},             {292, 4, 30},            {296, 2, 85},
      {298, 2, 2},             {300, 4, 44100},         {304, 4, 16000},
      {308, 2, 1},             {310, 2, 0},             {312, 2, 12},
      {314, 2, 1},             {316, 4, 2},             {320, 2, 1152},
      {322, 2, 1},             {324, 2, 0},
      // INFO list, JUNK up to the movi list.
      {330, 4, 20},            {342, 4, 8},             {358, 4, 2036 - 362},
      {2040, 4, movi_end - 2044}, {movi_end + 4, 4, 16 * chunks.size()}};
  for (const auto& [offset, size, value] : fields) {
    EXPECT_EQ(size == 4 ? U32(f, offset) : U16(f, offset), value) << "offset " << offset;
  }
  EXPECT_EQ(f.substr(346, 8), std::string("ZNTVD-3\0", 8));
  EXPECT_EQ(f.substr(196, 16), std::string(16, '\0'));
  EXPECT_EQ(f.substr(362, 2036 - 362), std::string(2036 - 362, '\0'));

  // Chunks in order, each odd length followed by one zero byte.
  std::vector<test::IndexEntry> index = CheckedIndex(f);
  ASSERT_EQ(index.size(), chunks.size());
  EXPECT_EQ(offsets[0], 2048u);
  EXPECT_EQ(index[0].offset, 4u);
  for (size_t i = 0; i < chunks.size(); ++i) {
    SCOPED_TRACE(i);
    const ChunkLayout& c = chunks[i];
    EXPECT_EQ(index[i].id, c.kind == 'v' ? "00dc" : "01wb");
    EXPECT_EQ(index[i].flags, c.kind == 'a' || c.key ? 16u : 0u);
    EXPECT_EQ(index[i].offset, offsets[i] - 2044);
    EXPECT_EQ(f.substr(offsets[i] + 8, c.length), Payload(c.length, static_cast<int>(i)));
    size_t next = i + 1 < chunks.size() ? offsets[i + 1] : movi_end;
    EXPECT_EQ(next, offsets[i] + 8 + c.length + (c.length & 1));
    EXPECT_EQ(next % 2, 0u);
    if (c.length & 1) {
      EXPECT_EQ(f[offsets[i] + 8 + c.length], '\0');
    }
  }
}

TEST(AviWriter, HeaderBeforeCloseHoldsPlaceholders) {
  test::TempWorld world;
  const std::string path = world.Path("open.avi");
  // A longer file of the same name is replaced, not written over.
  test::WriteFile(path, std::string(10000, 'x'));
  auto writer = AviWriter::Open(path);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(ReadFile(path), std::string(2048, '\0'));
  ASSERT_EQ(writer->SetVideo(176, 144, 15, kXvid), 0);
  ASSERT_EQ(writer->WriteVideo("abc", 3, true), 0);

  std::string f = ReadFile(path);
  EXPECT_EQ(U32(f, 4), AviWriter::kPlaceholderSize);
  EXPECT_EQ(U32(f, 2040), AviWriter::kPlaceholderSize);
  EXPECT_EQ(U32(f, 44), 0x100u);
  EXPECT_EQ(U32(f, 56), 1u);
  EXPECT_EQ(U32(f, 16), 212u - 20);
  // No INFO list: JUNK follows the video stream list directly.
  EXPECT_EQ(Tag(f, 212), "JUNK");
  EXPECT_EQ(U32(f, 216), 2036u - 220);
  EXPECT_EQ(Tag(f, 2044), "movi");
  EXPECT_EQ(Tag(f, 2048), "00dc");
  EXPECT_EQ(f.size(), 2048u + 8 + 4);

  // A writer dropped without Close still finishes the file.
  writer.reset();
  f = ReadFile(path);
  EXPECT_EQ(U32(f, 4), f.size() - 8);
  EXPECT_EQ(U32(f, 44), 0x110u);
  EXPECT_EQ(test::ReadIndex(f).size(), 1u);
}

TEST(AviWriter, FrameRatesAndHandlers) {
  test::TempWorld world;
  // {fps, microseconds per frame, strh rate with scale 100}
  const std::vector<std::tuple<double, uint32_t, uint32_t>> rates = {
      {14.985, 66733, 1499}, {29.97, 33367, 2997}, {15, 66667, 1500},
      {25, 40000, 2500},     {23.976, 41708, 2398}, {0.0005, 0, 0}};
  // {handler given, handler written}
  const std::vector<std::pair<std::string, std::string>> handlers = {
      {"XVID", "XVID"}, {"DIVX", "DIVX"}, {"MJPG", "MJPG"},
      {"RGB ", std::string(4, '\0')}, {"RGBA", std::string(4, '\0')}};
  for (size_t i = 0; i < std::max(rates.size(), handlers.size()); ++i) {
    const auto& [fps, usec, rate] = rates[i % rates.size()];
    const auto& [given, written] = handlers[i % handlers.size()];
    SCOPED_TRACE(testing::Message() << fps << " " << given);
    const std::string path = world.Path("rate.avi");
    auto writer = AviWriter::Open(path);
    ASSERT_NE(writer, nullptr);
    ASSERT_EQ(writer->SetVideo(64, 48, fps, AviWriter::FourCc(given)), 0);
    ASSERT_EQ(writer->Close(), 0);
    std::string f = ReadFile(path);
    EXPECT_EQ(U32(f, 32), usec);
    EXPECT_EQ(U32(f, 128), 100u);
    EXPECT_EQ(U32(f, 132), rate);
    EXPECT_EQ(f.substr(112, 4), written);
    EXPECT_EQ(f.substr(188, 4), written);
  }
}

struct AudioCase {
  const char* name;
  int channels, rate, bits, tag, kbps;
  uint32_t audio_bytes;
  // Expected: strh scale (= sample size = block alignment), strh rate,
  // strh length, format block size, MP3 block size (MP3 only).
  uint32_t scale, bytes_per_second, length, strf_size, block_size;
};

void PrintTo(const AudioCase& c, std::ostream* os) { *os << c.name; }

class AviWriterAudio : public testing::TestWithParam<AudioCase> {};

TEST_P(AviWriterAudio, StreamHeaderFields) {
  const AudioCase& c = GetParam();
  test::TempWorld world;
  const std::string path = world.Path("audio.avi");
  auto writer = AviWriter::Open(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(writer->SetVideo(64, 48, 25, kXvid), 0);
  ASSERT_EQ(writer->SetAudio(c.channels, c.rate, c.bits, c.tag, c.kbps), 0);
  std::string data = Payload(c.audio_bytes, 3);
  ASSERT_EQ(writer->WriteAudio(data.data(), c.audio_bytes), 0);
  ASSERT_EQ(writer->Close(), 0);

  std::string f = ReadFile(path);
  const bool mp3 = c.tag == 85;
  EXPECT_EQ(U32(f, 216), mp3 ? 106u : 94u);
  EXPECT_EQ(U32(f, 252), c.scale);
  EXPECT_EQ(U32(f, 256), c.bytes_per_second);
  EXPECT_EQ(U32(f, 264), c.length);
  EXPECT_EQ(U32(f, 276), c.scale);
  EXPECT_EQ(U32(f, 292), c.strf_size);
  EXPECT_EQ(U16(f, 296), static_cast<uint32_t>(c.tag));
  EXPECT_EQ(U16(f, 298), static_cast<uint32_t>(c.channels));
  EXPECT_EQ(U32(f, 300), static_cast<uint32_t>(c.rate));
  EXPECT_EQ(U32(f, 304), c.bytes_per_second);
  EXPECT_EQ(U16(f, 308), c.scale);
  EXPECT_EQ(U16(f, 310), static_cast<uint32_t>(c.bits));
  if (mp3) {
    EXPECT_EQ(U16(f, 320), c.block_size);
  }
  // Whatever the stream list's size, the INFO list follows it and the movi
  // list stays at 2036.
  size_t info = 212 + 8 + U32(f, 216);
  EXPECT_EQ(Tag(f, info + 8), "INFO");
  EXPECT_EQ(Tag(f, 2044), "movi");
  EXPECT_EQ(test::ReadIndex(f).at(0).id, "01wb");
}

INSTANTIATE_TEST_SUITE_P(
    Tracks, AviWriterAudio,
    testing::Values(
        AudioCase{"Mp3Stereo44100", 2, 44100, 0, 85, 128, 4180, 1, 16000, 4180, 30, 1152},
        AudioCase{"Mp3Mono22050", 1, 22050, 0, 85, 64, 1001, 1, 8000, 1001, 30, 576},
        AudioCase{"Mp3Stereo32000", 2, 32000, 0, 85, 96, 300, 1, 12000, 300, 30, 1152},
        AudioCase{"Mp3Stereo24000", 2, 24000, 0, 85, 56, 300, 1, 7000, 300, 30, 576},
        // Other format tags get a plain 18-byte format block; s = 2 × 6 = 12 bytes.
        AudioCase{"Pcm16Bit6Channels", 6, 48000, 16, 1, 4608, 1200, 3, 576000, 400, 18, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AviWriter, IndexGrowsPastItsFirstBlock) {
  test::TempWorld world;
  const std::string path = world.Path("many.avi");
  auto writer = AviWriter::Open(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(writer->SetVideo(16, 16, 25, kXvid), 0);
  constexpr int kChunks = 2 * AviWriter::kIndexGrowth + 5;
  for (int i = 0; i < kChunks; ++i) ASSERT_EQ(writer->WriteVideo("x", 1, i % 10 == 0), 0);
  ASSERT_EQ(writer->Close(), 0);
  std::string f = ReadFile(path);
  std::vector<test::IndexEntry> index = CheckedIndex(f);
  ASSERT_EQ(index.size(), static_cast<size_t>(kChunks));
  for (int i = 0; i < kChunks; ++i) {
    ASSERT_EQ(index[i].offset, 4u + 10u * i);
    ASSERT_EQ(index[i].flags, i % 10 == 0 ? 16u : 0u);
  }
  EXPECT_EQ(U32(f, 48), static_cast<uint32_t>(kChunks));
}

// The video and the audio encoding thread write to one writer at once; every
// chunk must land whole and be indexed where it lies.
TEST(AviWriter, ConcurrentWritersKeepFileAndIndexConsistent) {
  test::TempWorld world;
  const std::string path = world.Path("threads.avi");
  auto writer = AviWriter::Open(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(writer->SetVideo(16, 16, 25, kXvid), 0);
  ASSERT_EQ(writer->SetAudio(2, 44100, 0, 85, 128), 0);
  constexpr int kPerThread = 5000;
  std::thread video([&] {
    for (int i = 0; i < kPerThread; ++i) {
      std::string data = Payload(100 + i % 7, i);
      writer->WriteVideo(data.data(), static_cast<uint32_t>(data.size()), i % 5 == 0);
    }
  });
  std::thread audio([&] {
    for (int i = 0; i < kPerThread; ++i) {
      std::string data = Payload(417 + i % 2, i);
      writer->WriteAudio(data.data(), static_cast<uint32_t>(data.size()));
    }
  });
  video.join();
  audio.join();
  ASSERT_EQ(writer->Close(), 0);

  std::string f = ReadFile(path);
  std::vector<test::IndexEntry> index = CheckedIndex(f);
  ASSERT_EQ(index.size(), 2u * kPerThread);
  // The chunks tile the movi list without gaps or overlaps.
  uint32_t expected_offset = 4;
  for (const test::IndexEntry& entry : index) {
    ASSERT_EQ(entry.offset, expected_offset);
    expected_offset += 8 + entry.length + (entry.length & 1);
  }
  EXPECT_EQ(U32(f, 48), static_cast<uint32_t>(kPerThread));
  EXPECT_EQ(U32(f, 264), kPerThread / 2 * (417u + 418u));
}

TEST(AviWriter, TracksBeyondEightAndMisplacedCallsFail) {
  test::TempWorld world;
  const std::string path = world.Path("tracks.avi");
  auto writer = AviWriter::Open(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(writer->SetVideo(16, 16, 25, kXvid), 0);
  EXPECT_EQ(writer->WriteAudio("ab", 2), -1);  // no audio track yet
  EXPECT_EQ(writer->last_error(), kAviErrorBadCall);
  for (int i = 0; i < 8; ++i) ASSERT_EQ(writer->SetAudio(2, 44100, 0, 85, 128), 0);
  EXPECT_EQ(writer->SetAudio(2, 44100, 0, 85, 128), -1);
  EXPECT_EQ(writer->last_error(), kAviErrorBadCall);
  ASSERT_EQ(writer->WriteAudio("ab", 2), 0);
  ASSERT_EQ(writer->Close(), 0);
  EXPECT_EQ(writer->WriteVideo("ab", 2, true), -1);
  EXPECT_EQ(writer->Close(), -1);

  std::string f = ReadFile(path);
  EXPECT_EQ(U32(f, 56), 9u);
  EXPECT_EQ(test::ReadIndex(f).at(0).id, "08wb");  // the track declared last
  EXPECT_EQ(Tag(f, 212 + 8 * 114), "LIST");  // INFO after eight stream lists
  EXPECT_EQ(Tag(f, 2044), "movi");
  EXPECT_TRUE(test::TraceHasLine("error - only 8 audio tracks supported"));
}

}  // namespace
}  // namespace ovc
