#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ovc {

// Copying and deleting the files of the transfer window, with the progress
// and the questions a file manager shows.

struct CopyProgress {
  size_t file_index = 0;  // of the file being copied, from 0
  size_t file_count = 0;
  std::string source;     // the file being copied
  uint64_t bytes_done = 0;   // of all files
  uint64_t bytes_total = 0;  // of all files, as they were when the copy began
};

// Called before each file and after every piece of it; returning false
// cancels the copy.
using CopyProgressCallback = std::function<bool(const CopyProgress&)>;

enum class CopyOutcome { kDone, kCancelled, kFailed };

struct CopySummary {
  int copied = 0;
  int skipped = 0;  // existing files the user chose to keep
};

// Copies files into a folder under their own names. An existing file is
// replaced only when the user answers Yes to the question (No keeps it and
// goes on, Cancel stops). Each file is written under a temporary name,
// flushed to the device and then renamed, so a copy that fails (the device
// is full or gone) or is cancelled leaves no partial file and keeps the file
// it would have replaced; the failure is shown in a message box and traced,
// and the remaining files are not copied. Copies keep the source's
// modification time.
CopyOutcome CopyFilesToFolder(const std::vector<std::string>& sources, const std::string& folder,
                              const CopyProgressCallback& progress, CopySummary* summary = nullptr);

// The transfer of a list's selection: the selected paths with their
// thumbnail companions when thumbnails are hidden (see CollectSelection),
// copied into the target folder.
CopyOutcome TransferFiles(const std::vector<std::string>& selected, bool thumbnails_hidden,
                          const std::string& target_folder, const CopyProgressCallback& progress,
                          CopySummary* summary = nullptr);

// Deletes files for good (not into a wastebasket). With ask_first, asks once
// for all of them (Yes/No) before deleting. A file that can't be deleted is
// reported and the others are still deleted. Returns the number deleted, or
// -1 when any deletion failed.
int DeleteFiles(const std::vector<std::string>& paths, bool ask_first);

}  // namespace ovc
