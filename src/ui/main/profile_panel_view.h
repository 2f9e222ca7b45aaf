#pragma once

#include <string>
#include <vector>

#include "ui/main/profile_panel_cells.h"

namespace ovc {

// The controls of the main window's right-hand side, as ProfilePanel fills
// them. Setting a control from here never raises its change event; a view
// that can't avoid it may pass the event on, and the panel ignores edits it
// receives while it fills the value lists.
class ProfilePanelView {
 public:
  virtual ~ProfilePanelView() = default;

  // ProfileCombo: replaces every entry; the selection becomes none.
  virtual void SetProfileItems(const std::vector<std::string>& names) = 0;
  // ProfileCombo: selects the entry at `index` (-1 none).
  virtual void SetProfileSelection(int index) = 0;

  // The rows of TimeValueList, VideoValueList and AudioValueList, top to
  // bottom. Each call replaces the list's rows and their flags.
  virtual void SetTimeRows(const std::vector<ValueRow>& rows) = 0;
  virtual void SetVideoRows(const std::vector<ValueRow>& rows) = 0;
  virtual void SetAudioRows(const std::vector<ValueRow>& rows) = 0;

  // MBperMinuteLabel and EstimatedSizeLabel.
  virtual void SetMbPerMinuteText(const std::string& text) = 0;
  virtual void SetEstimatedSizeText(const std::string& text) = 0;

  // SaveThumbnailBtn.
  virtual void SetSaveThumbnailVisible(bool visible) = 0;

  // OutputFolderEdit.
  virtual void SetOutputFolderText(const std::string& text) = 0;
  // The name of the file the next conversion writes, shown under the
  // folder; "" when none is known yet.
  virtual void SetOutputFileName(const std::string& /*name*/) {}
};

// What the panel needs from the windowing system and the desktop.
class ProfilePanelHost {
 public:
  virtual ~ProfilePanelHost() = default;

  // Shows the save-profile window ("Save the current settings to profile")
  // modally with `name` in its name field. On return `name` holds the
  // field's text, whichever button closed the window. True for OK.
  virtual bool AskProfileName(std::string* name) = 0;

  // The system's folder browser titled `title`, file-system folders only,
  // opened at `folder`. True with the chosen folder in `folder`; false when
  // the user cancelled (`folder` is then not used).
  virtual bool BrowseForFolder(const std::string& title, std::string* folder) = 0;

  // Opens a folder in the desktop's file manager, telling the user when
  // there is none.
  virtual void OpenFolder(const std::string& folder) = 0;
};

}  // namespace ovc
