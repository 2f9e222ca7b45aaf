#include "platform/av/reserved_file_io.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_world.h"
#include "support/file_size_limit.h"

namespace ovc::av {
namespace {

using test::FileSizeLimit;

std::vector<uint8_t> Bytes(size_t n, int seed) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  return bytes;
}

// Writes `bytes` through the context and out to the file.
void Put(ReservedFileIo& io, const std::vector<uint8_t>& bytes) {
  avio_write(io.context(), bytes.data(), static_cast<int>(bytes.size()));
  avio_flush(io.context());
}

int64_t AllocatedBytes(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_blocks) * 512 : -1;
}

TEST(ReservedFileIo, HoldsSpaceAheadWhileOpenAndGivesItBackAtClose) {
  test::TempWorld world;
  const std::string path = world.Path("movie.mp4");
  auto io = ReservedFileIo::Open(path);
  ASSERT_NE(io, nullptr);
  io->set_reserve(4 << 20);
  const std::vector<uint8_t> data = Bytes(100000, 1);
  Put(*io, data);
  EXPECT_EQ(io->out_of_room(), 0);
  if (AllocatedBytes(path) < (4 << 20))
    GTEST_SKIP() << "this file system does not allocate ahead of a file's end";
  ASSERT_EQ(io->Close(), 0);
  EXPECT_EQ(test::ReadFile(path), std::string(data.begin(), data.end()));
  EXPECT_LT(AllocatedBytes(path), 100000 + 65536);
}

// Under a size limit the file is out of room while the space held back
// still lies below the limit, so what is written after (the index) fits.
TEST(ReservedFileIo, TheSizeLimitLeavesTheSpaceHeldBackForTheEnd) {
  test::TempWorld world;
  const std::string path = world.Path("movie.mp4");
  constexpr int64_t kLimit = 400 * 1024;
  constexpr int64_t kReserve = 96 * 1024;
  constexpr size_t kPiece = 4096;
  std::string written;
  {
    FileSizeLimit limit(kLimit);
    auto io = ReservedFileIo::Open(path);
    ASSERT_NE(io, nullptr);
    io->set_reserve(kReserve);
    int pieces = 0;
    while (io->out_of_room() == 0 && static_cast<int64_t>(written.size()) < kLimit) {
      const std::vector<uint8_t> piece = Bytes(kPiece, ++pieces);
      Put(*io, piece);
      written.append(piece.begin(), piece.end());
    }
    EXPECT_EQ(io->out_of_room(), EFBIG);
    EXPECT_LE(static_cast<int64_t>(written.size()), kLimit - kReserve + static_cast<int64_t>(kPiece));
    // The end of the file, as large as the space held back.
    const std::vector<uint8_t> end = Bytes(kReserve - kPiece, 99);
    Put(*io, end);
    written.append(end.begin(), end.end());
    EXPECT_EQ(io->context()->error, 0);
    EXPECT_EQ(io->Close(), 0);
  }
  EXPECT_EQ(test::ReadFile(path), written);
}

TEST(ReservedFileIo, AMissingFolderIsReportedAtOpen) {
  test::TempWorld world;
  errno = 0;
  EXPECT_EQ(ReservedFileIo::Open(world.Path("gone/movie.mp4")), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
}  // namespace ovc::av
