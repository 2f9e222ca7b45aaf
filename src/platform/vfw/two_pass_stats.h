#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/vfw/compressor_table.h"

namespace ovc::vfw {

// Collects a first pass's rate-control statistics. They go to a new file
// "<path>.part-XXXXXX" (mkstemp: private, never through a planted link) and
// take the place of <path> only when the pass completes, so a pass that ends
// early leaves no statistics for a second pass to trust; an older file at
// <path> is removed when the first pass starts.
class StatsWriter {
 public:
  // nullptr when the file cannot be created (traced).
  static std::unique_ptr<StatsWriter> Create(const std::string& path);

  StatsWriter(const StatsWriter&) = delete;
  StatsWriter& operator=(const StatsWriter&) = delete;
  // Without Finish the partial file is removed.
  ~StatsWriter();

  // false when the bytes could not be written (traced).
  bool Append(std::string_view text);
  // Closes the file and moves it to the final path; false on failure (traced).
  bool Finish();

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  StatsWriter(std::string path, std::string part_path, std::FILE* file);

  const std::string path_;
  const std::string part_path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
};

// The whole statistics file; false when it is missing, unreadable, empty or
// not a regular file (a link is not followed).
bool ReadStatsFile(const std::string& path, std::string* text);

// The number of frames a first pass recorded in its statistics.
int CountStatsFrames(StatsFormat format, std::string_view text);

}  // namespace ovc::vfw
