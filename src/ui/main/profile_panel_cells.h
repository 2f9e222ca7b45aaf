#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ovc {

struct CProfile;

// One row of a value-list editor: "Codec=" | "mpeg4" [▾ mpeg4, h264].
struct ValueRow {
  std::string key;                   // the key column, e.g. "Codec="
  std::string value;                 // the value cell's text
  std::vector<std::string> choices;  // the drop-down's entries
  bool pick_list = false;            // the cell offers a drop-down of `choices`
  bool read_only = false;            // the value can only be chosen from the list

  bool operator==(const ValueRow&) const = default;
};

// The integer at the start of a text, as atoi reads it ("384 kbps" → 384):
// leading white space, an optional sign, decimal digits; 0 when there are
// none. Clamped to the 32-bit range.
int LeadingInt(std::string_view text);

// The real at the start of a text in the C locale ("29.97 fps" → 29.97); 0
// when there is none or it is not finite.
double LeadingReal(std::string_view text);

// A typed value: a number, then optionally `unit` (any case), blanks
// around either. False for anything else ("abc", "1000 kbps700", "").
bool ParseValueWithUnit(std::string_view text, std::string_view unit, double* value);

// The Duration cell: "Full" for 0 seconds, else h:mm:ss.
std::string DurationCellText(int seconds);
// "%d kbps" and "%g fps".
std::string KbpsCellText(int kbit_per_second);
std::string FpsCellText(double frames_per_second);

// The Quality cell: "CRF %d" for constant quality, "bit rate" for 0.
std::string QualityCellText(int crf);
// A typed or chosen Quality cell: "bit rate" (any case) or 0 → 0, "CRF 23"
// or "23" → 23. False for anything else or a quality outside 0..51.
bool ParseQualityCell(std::string_view text, int* crf);

// The rows the three value lists show for a profile (all values empty when
// `profile` is null).
//  Time:  "Duration=" (Full or h:mm:ss), "Start=" (h:mm:ss); free text.
//  Video: "Codec=", "Size=", "Bitrate=" ("%d kbps"), "FPS=" ("%g fps"), pick
//         lists of the profile's choices; Codec read-only, Size and FPS too
//         when `size_fps_read_only`; then, for a profile that offers
//         constant quality, "Quality=" (QualityCellText) with "bit rate"
//         and the profile's CRF choices.
//  Audio: a Windows Media profile: "Codec=", "Format=", both read-only pick
//         lists; any other: "Codec=", "Bitrate=" ("%d kbps"), "Sampling=" (Hz),
//         "Channels=", pick lists with Codec and Bitrate read-only, or all
//         four when `all_read_only`. Without a profile the four plain rows.
std::vector<ValueRow> TimeRows(const CProfile* profile);
std::vector<ValueRow> VideoRows(const CProfile* profile, bool size_fps_read_only);
std::vector<ValueRow> AudioRows(const CProfile* profile, bool all_read_only);

// The size estimate under the value lists, from the video and audio bit
// rates in kbit/s: "About %.1f MB per minute" and, for a source of
// `title_seconds`, "Estimated size: %d MB" (rounded to whole megabytes).
std::string MbPerMinuteText(int video_kbps, int audio_kbps);
std::string EstimatedSizeText(double title_seconds, int video_kbps, int audio_kbps);

}  // namespace ovc
