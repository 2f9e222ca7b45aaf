#include "transfer/psp_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "common/paths.h"
#include "common/scripted_message_box.h"
#include "settings/settings_store.h"
#include "support/temp_world.h"
#include "transfer/transfer_state.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;

// A stand-in drive: a folder of the test world, its size and what it holds
// ("name/" is a folder).
struct FakeDrive {
  char letter;
  const char* size;
  std::vector<std::string> entries;
};

// Makes the drives' folders and points OVC_DRIVES at them (free space is
// half of the size).
void InstallDrives(test::TempWorld& world, const std::vector<FakeDrive>& drives) {
  std::string table;
  for (const FakeDrive& drive : drives) {
    std::string root = world.Path(std::string("drive_") + drive.letter);
    fs::create_directories(root);
    for (const std::string& entry : drive.entries) {
      if (entry.back() == '/') fs::create_directories(root + "/" + entry);
      else test::WriteFile(root + "/" + entry, "");
    }
    table += std::string(1, drive.letter) + "=" + root + "|" + drive.size + ";";
  }
  world.SetEnv("OVC_DRIVES", table);
}

struct DetectionCase {
  const char* name;
  std::vector<FakeDrive> drives;
  int expected;
};
void PrintTo(const DetectionCase& c, std::ostream* os) { *os << c.name; }

const DetectionCase kDetectionCases[] = {
    {"memstick_mark_on_a_16_GB_drive", {{'E', "16G", {"MEMSTICK.IND"}}}, 'E'},
    {"psp_folder_on_a_16_GB_drive", {{'E', "16G", {"PSP/"}}}, -1},
    {"psp_folder_on_a_1_GB_stick", {{'E', "1G", {"PSP/"}}}, 'E'},
    {"psp_folder_just_below_the_size_limit", {{'E', "8999M", {"PSP/"}}}, 'E'},
    {"psp_folder_at_the_size_limit", {{'E', "9000M", {"PSP/"}}}, -1},
    {"psp_folder_on_a_drive_below_one_MB", {{'E', "1023K", {"PSP/"}}}, -1},
    {"two_memstick_marks_lower_letter_wins",
     {{'G', "1G", {"MEMSTICK.IND"}}, {'E', "1G", {"MEMSTICK.IND"}}}, 'E'},
    {"memstick_mark_wins_over_a_lower_psp_folder",
     {{'D', "1G", {"PSP/"}}, {'F', "16G", {"MEMSTICK.IND"}}}, 'F'},
    {"mark_in_other_letter_case", {{'E', "16G", {"memstick.ind"}}}, 'E'},
    {"drives_a_and_b_are_never_examined",
     {{'A', "1G", {"MEMSTICK.IND"}}, {'B', "1G", {"PSP/"}}}, -1},
    {"video_folder_tree_on_a_1_GB_stick", {{'E', "1G", {"MP_ROOT/100MNV01/"}}}, 'E'},
    {"video_folder_tree_on_a_32_GB_card", {{'E', "32G", {"mp_root/"}}}, 'E'},
    {"no_mark_and_no_psp_folders", {{'E', "1G", {"DCIM/"}}}, -1},
};

class Detection : public testing::TestWithParam<DetectionCase> {
 protected:
  test::TempWorld world_;
};

TEST_P(Detection, FindsThePspDrive) {
  InstallDrives(world_, GetParam().drives);
  bool present = GetParam().expected < 0;
  EXPECT_EQ(DetectPspDrive(&present), GetParam().expected);
  EXPECT_EQ(present, GetParam().expected >= 0);

  TransferWindowState state;
  state.psp_present = !present;
  DetectionOutcome outcome = RunDetection(&state, DriveTable::Load());
  EXPECT_EQ(outcome.letter, GetParam().expected);
  EXPECT_EQ(state.psp_present, present);
  EXPECT_STREQ(outcome.status, present ? "PSP detected" : "PSP not detected");
  EXPECT_EQ(state.chosen_letter(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Drives, Detection, testing::ValuesIn(kDetectionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PspDrive, DriveListNamesEachVolumeByItsFolderAndLabel) {
  Drive stick{'C', "/media/me/STICK", true, "STICK", false, {}, {}};
  Drive given{'E', "/srv/card", true, "", true, {}, {}};
  Drive whole{'D', "/", true, "", false, {}, {}};
  std::vector<PspDriveEntry> entries =
      PspDriveList(DriveTable({stick, given, whole}), PspVideoKind::kMpeg4);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].letter, 'C');
  EXPECT_EQ(entries[0].text, "/media/me/STICK/MP_ROOT/100MNV01 (STICK)");
  EXPECT_EQ(entries[1].letter, 'E');
  EXPECT_EQ(entries[1].text, "E: /srv/card/MP_ROOT/100MNV01");
  EXPECT_EQ(entries[2].text, "/MP_ROOT/100MNV01");
  EXPECT_EQ(PspDriveListEntry(given, PspVideoKind::kAvc), "E: /srv/card/MP_ROOT/100ANV01");
  EXPECT_TRUE(PspDriveList(DriveTable(), PspVideoKind::kAvc).empty());
}

TEST(PspDrive, VideoFolderLiesOnTheDriveInAnyLetterCase) {
  test::TempWorld world;
  InstallDrives(world, {{'E', "1G", {}}, {'F', "1G", {"mp_root/100anv01/"}}});
  EXPECT_EQ(PspVideoFolder('E', PspVideoKind::kMpeg4), world.Path("drive_E/MP_ROOT/100MNV01"));
  EXPECT_EQ(PspVideoFolder('F', PspVideoKind::kAvc), world.Path("drive_F/mp_root/100anv01"));
  EXPECT_EQ(PspVideoFolder('F', PspVideoKind::kMpeg4), world.Path("drive_F/mp_root/100MNV01"));
  EXPECT_EQ(PspVideoFolder('G', PspVideoKind::kMpeg4), "");
}

class DriveChangeTest : public testing::Test {
 protected:
  DriveChange Change(int letter) {
    state_.drive_index = letter < 0 ? -1 : letter - 'A';
    return ResolveDriveChange(&state_, DriveTable::Load());
  }

  test::TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox scoped_box_{&box_};
  TransferWindowState state_;
};

TEST_F(DriveChangeTest, ShowsAnExistingFolderOrThePlaceholder) {
  InstallDrives(world_, {{'E', "16G", {"MP_ROOT/100MNV01/"}}});
  DriveChange change = Change('E');
  EXPECT_EQ(change.action, DriveChangeAction::kShowFolder);
  EXPECT_EQ(change.folder, world_.Path("drive_E/MP_ROOT/100MNV01"));
  EXPECT_EQ(Change(-1).action, DriveChangeAction::kShowPlaceholder);
  EXPECT_EQ(PlaceholderFolder(), world_.home() + "/temp");

  state_.rebuilding = true;
  EXPECT_EQ(Change('E').action, DriveChangeAction::kNothing);
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(DriveChangeTest, CreatesTheFolderOnThePspWithoutAsking) {
  InstallDrives(world_, {{'E', "1G", {"MEMSTICK.IND"}}});
  state_.kind = PspVideoKind::kAvc;
  DriveChange change = Change('E');
  EXPECT_EQ(change.action, DriveChangeAction::kShowFolder);
  EXPECT_EQ(change.folder, world_.Path("drive_E/MP_ROOT/100ANV01"));
  EXPECT_TRUE(fs::is_directory(change.folder));
  EXPECT_TRUE(state_.psp_present);
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(DriveChangeTest, AsksBeforeCreatingTheFolderOnAnotherDrive) {
  InstallDrives(world_, {{'E', "16G", {}}});
  box_.Answer(kButtonNo);
  EXPECT_EQ(Change('E').action, DriveChangeAction::kNothing);
  EXPECT_FALSE(fs::exists(world_.Path("drive_E/MP_ROOT")));
  ASSERT_EQ(box_.Shown().size(), 1u);
  EXPECT_EQ(box_.Shown()[0].text,
            "This drive does not seems to be a PSP drive. Are you sure to creat PSP video "
            "folder \"MP_ROOT\\100MNV01\" ");
  EXPECT_EQ(box_.Shown()[0].buttons, kButtonsYesNo);
  EXPECT_FALSE(state_.psp_present);

  box_.Answer(kButtonYes);
  DriveChange change = Change('E');
  EXPECT_EQ(change.action, DriveChangeAction::kShowFolder);
  EXPECT_TRUE(fs::is_directory(world_.Path("drive_E/MP_ROOT/100MNV01")));
}

TEST_F(DriveChangeTest, ADriveThatIsNotThereLosesItsSelection) {
  InstallDrives(world_, {{'E', "1G", {}}});
  fs::remove_all(world_.Path("drive_E"));
  EXPECT_EQ(Change('E').action, DriveChangeAction::kNothing);
  EXPECT_EQ(state_.drive_index, -1);
  EXPECT_EQ(Change('K').action, DriveChangeAction::kNothing);
  EXPECT_EQ(state_.drive_index, -1);
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(DriveChangeTest, FailedDetectionLeavesNoDriveChosen) {
  InstallDrives(world_, {{'E', "16G", {"DCIM/"}}});
  state_.drive_index = 'E' - 'A';
  state_.psp_present = true;
  EXPECT_EQ(RunDetection(&state_, DriveTable::Load()).letter, -1);
  EXPECT_EQ(state_.drive_index, -1);
  EXPECT_FALSE(state_.psp_present);
}

TEST_F(DriveChangeTest, AFolderThatCannotBeMadeShowsThePlaceholder) {
  // MP_ROOT exists as a file.
  InstallDrives(world_, {{'E', "1G", {"MEMSTICK.IND", "MP_ROOT"}}});
  EXPECT_EQ(Change('E').action, DriveChangeAction::kShowPlaceholder);
}

TEST(TransferState, ComputerListStartsInTheOutputFolder) {
  test::TempWorld world;
  EXPECT_EQ(ComputerStartFolder(), HomeFolder());
  WriteSettingText("OutputConfig", "LastOutput", "/videos/psp/M4V00001.MP4");
  EXPECT_EQ(ComputerStartFolder(), "/videos/psp");
}

TEST(TransferState, LayoutSplitsTheClientWidth) {
  TransferLayout layout = ComputeTransferLayout(792);
  EXPECT_EQ(layout.computer_list_width, 377);
  EXPECT_EQ(layout.upper_left_width, 377);
  EXPECT_EQ(layout.upper_right_left, 410);
  EXPECT_EQ(layout.upper_right_width, 377);
  EXPECT_EQ(layout.psp_list_left, 412);
  EXPECT_EQ(layout.psp_list_width, 377);
  EXPECT_EQ(ComputeTransferLayout(793).psp_list_width, 377);
}

}  // namespace
}  // namespace ovc
