#include "common/trace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_world.h"

namespace ovc {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(TraceLine, HasTickThenTwoDigitsPerByteAndDecodesBack) {
  std::string message = "Open \x80\xff\x01 file";
  std::string line = ScrambleTraceLine(message, 0x1234ABCD);
  ASSERT_EQ(line.size(), 8 + 2 * message.size());
  EXPECT_EQ(line.substr(0, 8), "1234ABCD");
  EXPECT_EQ(line.find_first_not_of("0123456789ABCDEF"), std::string::npos);

  uint32_t tick = 0;
  std::string decoded;
  ASSERT_TRUE(UnscrambleTraceLine(line + "\n", &tick, &decoded));
  EXPECT_EQ(tick, 0x1234ABCDu);
  EXPECT_EQ(decoded, message);
}

TEST(TraceLine, FirstByteIsKeyedByTickAndSeed) {
  // Key = low byte of the tick XOR the seed; then key ^= each plain byte.
  std::string line = ScrambleTraceLine("AB", 0x10);
  uint8_t key = 0x10 ^ kTraceKeySeed;
  uint8_t first = 'A' ^ key;
  uint8_t second = 'B' ^ (key ^ 'A');
  char expected[16];
  std::snprintf(expected, sizeof expected, "00000010%02X%02X", first, second);
  EXPECT_EQ(line, expected);
}

TEST(TraceLine, SameTextAtDifferentTicksDiffersInEveryPair) {
  std::string a = ScrambleTraceLine("recording started", 1000);
  std::string b = ScrambleTraceLine("recording started", 1001);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 8; i < a.size(); i += 2)
    EXPECT_NE(a.substr(i, 2), b.substr(i, 2)) << "pair at " << i;
}

TEST(TraceLine, EachPairDependsOnAllEarlierBytes) {
  std::string a = ScrambleTraceLine("xbcdef", 77);
  std::string b = ScrambleTraceLine("ybcdef", 77);
  EXPECT_NE(a.substr(8, 2), b.substr(8, 2));
  for (size_t i = 10; i < a.size(); i += 2) EXPECT_NE(a.substr(i, 2), b.substr(i, 2));
}

TEST(TraceLine, MalformedLinesAreRejected) {
  uint32_t tick;
  std::string message;
  for (const char* bad : {"", "1234567", "12345678A", "1234567G00", "12345678zz", "\xff\xff\xff\xff\xff\xff\xff\xff"})
    EXPECT_FALSE(UnscrambleTraceLine(bad, &tick, &message)) << bad;
}

TEST(TraceLog, WritesToTempFolderAndFallsBackToProgramFolder) {
  test::TempWorld world;
  WriteTraceLine("first");
  TracePrintf("second %d %s", 2, "x");
  auto lines = Lines(test::ReadFile(world.temp() + "/Orvane.elog"));
  ASSERT_EQ(lines.size(), 2u);
  uint32_t tick;
  std::string message;
  ASSERT_TRUE(UnscrambleTraceLine(lines[1], &tick, &message));
  EXPECT_EQ(message, "second 2 x");

  world.SetEnv("OVC_TEMP", world.Path("missing/folder"));
  WriteTraceLine("fallback");
  lines = Lines(test::ReadFile(world.home() + "/Orvane.elog"));
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_TRUE(UnscrambleTraceLine(lines[0], &tick, &message));
  EXPECT_EQ(message, "fallback");

  world.SetEnv("OVC_HOME", world.Path("missing/too"));
  WriteTraceLine("lost");  // neither place exists: dropped without harm
}

TEST(TraceLog, IsPrivateAndNeverFollowsALinkInItsPlace) {
  test::TempWorld world;
  WriteTraceLine("mine");
  struct stat info {};
  ASSERT_EQ(stat(TraceLogPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // A link planted where the log goes must not make the program append to
  // the file it points at; the line goes to the program folder instead.
  test::TempWorld planted;
  test::WriteFile(planted.Path("victim"), "precious");
  std::filesystem::create_directories(planted.temp());
  ASSERT_EQ(symlink(planted.Path("victim").c_str(), TraceLogPath().c_str()), 0);
  WriteTraceLine("not through the link");
  EXPECT_EQ(test::ReadFile(planted.Path("victim")), "precious");
  EXPECT_EQ(Lines(test::ReadFile(planted.home() + "/Orvane.elog")).size(), 1u);
}

TEST(TraceLog, LongOutputIsCutAt1023Characters) {
  test::TempWorld world;
  std::string big(3000, 'q');
  TracePrintf("%s", big.c_str());
  auto lines = Lines(test::ReadFile(world.temp() + "/Orvane.elog"));
  ASSERT_EQ(lines.size(), 1u);
  uint32_t tick;
  std::string message;
  ASSERT_TRUE(UnscrambleTraceLine(lines[0], &tick, &message));
  EXPECT_EQ(message, std::string(1023, 'q'));
}

TEST(TraceLog, LinesFromManyThreadsNeverMix) {
  test::TempWorld world;
  constexpr int kThreads = 8;
  constexpr int kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      std::string padding(200 + 37 * t, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) TracePrintf("thread %d line %d %s", t, i, padding.c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  auto lines = Lines(test::ReadFile(world.temp() + "/Orvane.elog"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    uint32_t tick;
    std::string message;
    ASSERT_TRUE(UnscrambleTraceLine(line, &tick, &message));
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(message.c_str(), "thread %d line %d", &t, &i), 2) << message;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    EXPECT_EQ(i, next[t]++) << "lines of one thread out of order";
    EXPECT_EQ(message.size(), message.find(' ', message.find("line ") + 5) + 1 + 200 + 37 * t);
  }
}

}  // namespace
}  // namespace ovc
