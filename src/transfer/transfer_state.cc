#include "transfer/transfer_state.h"

#include <errno.h>
#include <sys/stat.h>

#include "common/message_box.h"
#include "common/paths.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"

namespace ovc {

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolder(const std::string& path) {
  return mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && IsFolder(path));
}

}  // namespace

DetectionOutcome RunDetection(TransferWindowState* state, const DriveTable& drives) {
  DetectionOutcome outcome;
  outcome.letter = DetectPspDrive(drives, &state->psp_present);
  if (outcome.letter >= 0) {
    outcome.status = kStatusPspDetected;
    state->drive_index = outcome.letter - 'A';
  } else {
    // The list and the drive list agree: no PSP, no chosen drive.
    state->drive_index = -1;
  }
  return outcome;
}

DriveChange ResolveDriveChange(TransferWindowState* state, const DriveTable& drives) {
  DriveChange change;
  if (state->rebuilding) return change;
  int letter = state->chosen_letter();
  if (letter < 0) {
    change.action = DriveChangeAction::kShowPlaceholder;
    return change;
  }
  std::string folder = PspVideoFolder(drives, letter, state->kind);
  if (IsFolder(folder)) {
    change.action = DriveChangeAction::kShowFolder;
    change.folder = folder;
    return change;
  }
  if (DetectPspDrive(drives, &state->psp_present) != letter) {
    if (!drives.VolumePresent(letter)) {
      state->drive_index = -1;
      return change;
    }
    if (ShowMessageBox(PspKind(state->kind).confirmation, MessageKind::kConfirmation,
                       kButtonsYesNo) != kButtonYes)
      return change;
  }
  std::string root_folder = JoinNoCase(drives.Root(letter), "MP_ROOT");
  if (MakeFolder(root_folder) && MakeFolder(folder)) {
    change.action = DriveChangeAction::kShowFolder;
    change.folder = folder;
  } else {
    change.action = DriveChangeAction::kShowPlaceholder;
  }
  return change;
}

std::string PlaceholderFolder() {
  std::string folder = ProgramFolder();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + "temp";
}

std::string ComputerStartFolder() {
  const SettingRow* last_output = FindSetting("OutputConfig", "LastOutput");
  return last_output ? FolderOf(ReadSettingText(*last_output)) : std::string();
}

TransferLayout ComputeTransferLayout(int client_width) {
  int half = (client_width - 38) / 2;
  TransferLayout layout;
  layout.computer_list_width = half;
  layout.upper_left_width = half;
  layout.upper_right_left = half + 33;
  layout.upper_right_width = half;
  layout.psp_list_left = half + 35;
  layout.psp_list_width = half;
  return layout;
}

}  // namespace ovc
