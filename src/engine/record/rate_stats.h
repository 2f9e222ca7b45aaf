#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovc {

// The layouts of the first-pass statistics this program's encoders write.
enum class RateStatsFormat {
  kLavc,  // libavcodec's MPEG encoders: "in:N out:M type:..;" per picture
  kXvid,  // libxvid's log: '#' comment lines, then "<i|p|b|s> <numbers>" per picture
};

// One statistics text taken apart: the lines before the first picture and
// one record per picture, in the order the encoder wrote them.
struct RateStats {
  std::string header;
  std::vector<std::string> frames;
};

RateStats ParseRateStats(RateStatsFormat format, std::string_view text);

// The text a second pass reads for the pictures from `first` on: the
// header, the records from `first`, numbered from 0 again (libavcodec
// indexes its rate control by those numbers), and `pad` copies of the last
// record after them (a second pass must never run past its statistics:
// libavcodec then fails the encode). Empty when no record is left.
std::string RateStatsText(RateStatsFormat format, const RateStats& stats, size_t first,
                          size_t pad = 0);

// The statistics of a whole recorded range, kept in one file while a
// conversion runs its two passes and the output may be cut into parts at
// different pictures in each pass: the first pass appends what each part's
// encoder wrote, the second reads from where its part begins.
//
// Returns 0, or -1 when the file could not be written (traced).
int AppendRangeStats(const std::string& path, RateStatsFormat format, std::string_view part_text,
                     int64_t first_frame);
// The text for a second-pass part beginning at `first_frame` (see
// RateStatsText); empty when the file is missing or holds nothing from there.
std::string ReadRangeStats(const std::string& path, RateStatsFormat format, int64_t first_frame,
                           size_t pad = 0);

// Replaces the file at `path` by `text` (written beside it, then renamed
// over it). 0, or -1 (traced).
int WriteRateStatsFile(const std::string& path, const std::string& text);

// A new statistics path in the temp folder for a conversion writing
// `output_path`: distinct per output and per process.
std::string NewRangeStatsPath(const std::string& output_path);
// Removes the statistics file and every file an encoder made beside it
// ("<path>.<anything>").
void RemoveRangeStats(const std::string& path);

}  // namespace ovc
