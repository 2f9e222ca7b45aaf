#pragma once

#include <string>

#include "platform/drives/drive_table.h"
#include "transfer/psp_drive.h"

namespace ovc {

// Texts of the transfer window's status label and delete question.
inline constexpr char kStatusPspDetected[] = "PSP detected";
inline constexpr char kStatusPspNotDetected[] = "PSP not detected";
inline constexpr char kDeleteSelectedQuestion[] = "Are you sure to delete selected files?\n";

// The transfer window's state that its logic works on; the window holds one
// for the program's life.
struct TransferWindowState {
  PspVideoKind kind = PspVideoKind::kMpeg4;
  // Set by a successful detection, cleared by a failed one.
  bool psp_present = false;
  // The chosen drive list entry (letter - 'A'), -1 when none.
  int drive_index = -1;
  // Raised while the drive list is refilled for another kind; drive changes
  // are ignored meanwhile.
  bool rebuilding = false;
  bool hide_thumbnails = true;

  int chosen_letter() const { return drive_index < 0 ? -1 : 'A' + drive_index; }
};

// The outcome of "Detect PSP": the letter (or -1) and the status text. A
// found drive becomes the chosen drive list entry; when none is found, no
// entry stays chosen. The present flag follows the outcome.
struct DetectionOutcome {
  int letter = -1;
  const char* status = kStatusPspNotDetected;
};
DetectionOutcome RunDetection(TransferWindowState* state, const DriveTable& drives);

// What the PSP list should show after the chosen drive changed.
enum class DriveChangeAction {
  kNothing,          // leave the list as it is
  kShowPlaceholder,  // no drive, or the folder could not be made
  kShowFolder,       // show `folder`
};
struct DriveChange {
  DriveChangeAction action = DriveChangeAction::kNothing;
  std::string folder;
};

// The drive change: without a chosen entry the placeholder; with one, the
// kind's video folder of that drive. A missing folder is created, after the
// kind's confirmation (Yes/No through the message box) when detection does
// not find the chosen drive to be the PSP; a drive whose volume is not there
// loses its selection instead. Nothing happens while the rebuilding guard is
// raised.
DriveChange ResolveDriveChange(TransferWindowState* state, const DriveTable& drives);

// The folder the PSP list shows while there is no PSP: "temp" in the
// program folder.
std::string PlaceholderFolder();

// The computer list's first folder: the folder of the stored output path
// ("OutputConfig\LastOutput"), "" when it has none.
std::string ComputerStartFolder();

// Positions and widths, in pixels, of the window's two halves for a client
// width: W = (client width - 38) / 2.
struct TransferLayout {
  int computer_list_width = 0;
  int upper_left_width = 0;
  int upper_right_left = 0;
  int upper_right_width = 0;
  int psp_list_left = 0;
  int psp_list_width = 0;
};
inline constexpr int kMinTransferWindowWidth = 800;
TransferLayout ComputeTransferLayout(int client_width);

}  // namespace ovc
