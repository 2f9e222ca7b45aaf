#include "transfer/file_transfer.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "common/scripted_message_box.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;

std::string Pattern(size_t bytes, char seed) {
  std::string data(bytes, '\0');
  for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<char>(seed + i * 7 % 251);
  return data;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class FileTransfer : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(target_);
    test::WriteFile(world_.Path("pc/M4V00001.MP4"), Pattern(2'500'000, 'a'));
    test::WriteFile(world_.Path("pc/M4V00001.THM"), Pattern(3000, 't'));
    test::WriteFile(world_.Path("pc/M4V00002.MP4"), Pattern(1000, 'b'));
  }
  std::string Source(const char* name) { return world_.Path(std::string("pc/") + name); }

  test::TempWorld world_;
  std::string target_ = world_.Path("stick/MP_ROOT/100MNV01");
  ScriptedMessageBox box_;
  ScopedMessageBox scoped_box_{&box_};
};

TEST_F(FileTransfer, CopiesFilesWithProgress) {
  struct timespec old_times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, Source("M4V00001.MP4").c_str(), old_times, 0), 0);
  std::vector<CopyProgress> reports;
  CopySummary summary;
  CopyOutcome outcome = CopyFilesToFolder(
      {Source("M4V00001.MP4"), Source("M4V00002.MP4")}, target_,
      [&](const CopyProgress& progress) {
        reports.push_back(progress);
        return true;
      },
      &summary);
  EXPECT_EQ(outcome, CopyOutcome::kDone);
  EXPECT_EQ(summary.copied, 2);
  EXPECT_EQ(Names(target_), (std::vector<std::string>{"M4V00001.MP4", "M4V00002.MP4"}));
  EXPECT_EQ(test::ReadFile(target_ + "/M4V00001.MP4"), Pattern(2'500'000, 'a'));
  EXPECT_EQ(fs::last_write_time(target_ + "/M4V00001.MP4"),
            fs::last_write_time(Source("M4V00001.MP4")));

  ASSERT_GE(reports.size(), 5u);  // 2 starts, 3 pieces of the first file, 1 of the second
  EXPECT_EQ(reports.front().bytes_done, 0u);
  EXPECT_EQ(reports.back().bytes_done, 2'501'000u);
  EXPECT_EQ(reports.back().file_index, 1u);
  for (size_t i = 1; i < reports.size(); ++i) {
    EXPECT_GE(reports[i].bytes_done, reports[i - 1].bytes_done);
    EXPECT_EQ(reports[i].bytes_total, 2'501'000u);
    EXPECT_EQ(reports[i].file_count, 2u);
  }
}

TEST_F(FileTransfer, AsksBeforeReplacingAFile) {
  test::WriteFile(target_ + "/M4V00001.MP4", "old one");
  test::WriteFile(target_ + "/M4V00002.MP4", "old two");
  std::vector<std::string> sources = {Source("M4V00001.MP4"), Source("M4V00002.MP4")};

  box_.Answer(kButtonNo);
  box_.Answer(kButtonYes);
  CopySummary summary;
  EXPECT_EQ(CopyFilesToFolder(sources, target_, nullptr, &summary), CopyOutcome::kDone);
  EXPECT_EQ(summary.copied, 1);
  EXPECT_EQ(summary.skipped, 1);
  EXPECT_EQ(test::ReadFile(target_ + "/M4V00001.MP4"), "old one");
  EXPECT_EQ(test::ReadFile(target_ + "/M4V00002.MP4"), Pattern(1000, 'b'));
  ASSERT_EQ(box_.Shown().size(), 2u);
  EXPECT_EQ(box_.Shown()[0].text,
            "The file \"M4V00001.MP4\" already exists in \"" + target_ + "\". Replace it?");
  EXPECT_EQ(box_.Shown()[0].buttons, kButtonYes | kButtonNo | kButtonCancel);

  box_.Answer(kButtonCancel);
  EXPECT_EQ(CopyFilesToFolder(sources, target_, nullptr, &summary), CopyOutcome::kCancelled);
  EXPECT_EQ(test::ReadFile(target_ + "/M4V00001.MP4"), "old one");
  EXPECT_EQ(box_.Shown().size(), 3u);
}

TEST_F(FileTransfer, CancelledCopyLeavesNoPartialFile) {
  test::WriteFile(target_ + "/M4V00001.MP4", "old one");
  box_.Answer(kButtonYes);
  int pieces = 0;
  CopyOutcome outcome = CopyFilesToFolder(
      {Source("M4V00001.MP4"), Source("M4V00002.MP4")}, target_,
      [&](const CopyProgress& progress) { return progress.bytes_done == 0 || ++pieces < 2; });
  EXPECT_EQ(outcome, CopyOutcome::kCancelled);
  EXPECT_EQ(Names(target_), (std::vector<std::string>{"M4V00001.MP4"}));
  EXPECT_EQ(test::ReadFile(target_ + "/M4V00001.MP4"), "old one");
}

TEST_F(FileTransfer, FailedCopyIsReportedAndLeavesNoPartialFile) {
  // The device fills up: writes beyond 1 MB fail.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = 1 << 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  CopyOutcome outcome =
      CopyFilesToFolder({Source("M4V00002.MP4"), Source("M4V00001.MP4"), Source("M4V00001.THM")},
                        target_, nullptr);
  setrlimit(RLIMIT_FSIZE, &old_limit);

  EXPECT_EQ(outcome, CopyOutcome::kFailed);
  EXPECT_EQ(Names(target_), (std::vector<std::string>{"M4V00002.MP4"}));
  ASSERT_EQ(box_.Shown().size(), 1u);
  EXPECT_EQ(box_.Shown()[0].text,
            "Fail to copy \"" + Source("M4V00001.MP4") + "\": File too large");
  EXPECT_EQ(box_.Shown()[0].kind, MessageKind::kError);
}

TEST_F(FileTransfer, RefusesFoldersAndCopiesOntoThemselves) {
  std::string before = test::ReadFile(Source("M4V00002.MP4"));
  EXPECT_EQ(CopyFilesToFolder({Source("M4V00002.MP4")}, world_.Path("pc"), nullptr),
            CopyOutcome::kFailed);
  EXPECT_EQ(test::ReadFile(Source("M4V00002.MP4")), before);
  EXPECT_EQ(CopyFilesToFolder({world_.Path("pc")}, target_, nullptr), CopyOutcome::kFailed);
  EXPECT_TRUE(Names(target_).empty());
  EXPECT_EQ(box_.Shown().size(), 2u);
}

TEST_F(FileTransfer, TransferCarriesHiddenThumbnailsAlong) {
  EXPECT_EQ(TransferFiles({Source("M4V00001.MP4")}, false, target_, nullptr), CopyOutcome::kDone);
  EXPECT_EQ(Names(target_), (std::vector<std::string>{"M4V00001.MP4"}));
  fs::remove(target_ + "/M4V00001.MP4");
  EXPECT_EQ(TransferFiles({Source("M4V00001.MP4"), Source("M4V00002.MP4")}, true, target_, nullptr),
            CopyOutcome::kDone);
  EXPECT_EQ(Names(target_),
            (std::vector<std::string>{"M4V00001.MP4", "M4V00001.THM", "M4V00002.MP4"}));
  EXPECT_EQ(test::ReadFile(target_ + "/M4V00001.THM"), Pattern(3000, 't'));
}

TEST_F(FileTransfer, DeletesForGood) {
  std::vector<std::string> paths = {Source("M4V00001.MP4"), Source("M4V00001.THM")};
  box_.Answer(kButtonNo);
  EXPECT_EQ(DeleteFiles(paths, true), 0);
  EXPECT_EQ(Names(world_.Path("pc")).size(), 3u);
  EXPECT_EQ(box_.Shown().back().buttons, kButtonsYesNo);

  box_.Answer(kButtonYes);
  EXPECT_EQ(DeleteFiles(paths, true), 2);
  EXPECT_EQ(Names(world_.Path("pc")), (std::vector<std::string>{"M4V00002.MP4"}));

  EXPECT_EQ(DeleteFiles({Source("gone.MP4"), Source("M4V00002.MP4")}, false), -1);
  EXPECT_TRUE(Names(world_.Path("pc")).empty());
  EXPECT_EQ(box_.Shown().back().text,
            "Fail to delete \"" + Source("gone.MP4") + "\": No such file or directory");
}

}  // namespace
}  // namespace ovc
