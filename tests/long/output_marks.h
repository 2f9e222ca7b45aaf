#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/clip_generator.h"

namespace ovc::test {

// What the checks need of one converted file, without its sound: the
// pictures (time, frame number shown) and the clicks, on the file's own time
// line (0 = its first picture).
struct OutputMarks {
  std::vector<double> picture_times;  // seconds
  std::vector<int> frame_numbers;     // -1 when unreadable
  std::vector<double> click_times;    // seconds
  double frame_rate = 0;              // the video stream's nominal rate
  double audio_start = 0;             // seconds after the first picture
  double audio_seconds = 0;           // decoded sound, sample frames ÷ rate
  int64_t audio_frames = 0;           // decoded sound, sample frames
};

// A stretch of the file's time line, `from` to `to` seconds, whose loudest
// sample of channel 0 (of full scale) ReadMarks measures.
struct LevelWindow {
  double from = 0;
  double to = 0;
  double peak = 0;  // filled in
};

// Decodes `path` (first video and audio stream) and, when `windows` is
// given, measures each window. "" on success, else what went wrong; a file
// without pictures or without sound fails.
std::string ReadMarks(const std::string& path, OutputMarks* marks,
                      std::vector<LevelWindow>* windows = nullptr);

// The video's length: pictures × the nominal frame period.
double VideoSeconds(const OutputMarks& marks);

// One whole second of the source heard in the output: where its click is,
// and where the picture starting that second (its flash) is shown.
struct SecondMark {
  int second = 0;            // on the source's time line
  double click_time = 0;     // output seconds
  bool flash_found = false;  // the output shows the flash picture near the click
  // Output time of the flash minus that of the click, less the source's own
  // offset (a flash picture may start a little after its second).
  double offset = 0;
};

// Pairs each click of `marks` with its flash. The second of a click is the
// whole second nearest to its moment on the source's time line, judged by
// the picture shown at the click; a burst more than 0.1 s from any whole
// second is left out (the ringing where a file's sound starts). Its flash is
// the first picture within two seconds of the click showing a frame number
// at or past that second's first picture, when that picture is the first
// of the file to show it (a file that begins past it shows no flash).
std::vector<SecondMark> MatchSeconds(const OutputMarks& marks, const ClipRecipe& source);

// What the parts of one conversion hold, read part by part (only the marks
// of one part are in memory at a time).
struct PartFigures {
  std::string path;
  int pictures = 0;
  double video_seconds = 0;  // pictures × the nominal frame period
  double probed_seconds = 0; // the video stream's duration as ffprobe gives it
  double sound_end = 0;      // where the sound ends on the part's time line
  double audio_seconds = 0;  // decoded sound
};
struct PartsSummary {
  std::vector<PartFigures> parts;
  std::vector<int> frame_numbers;   // every part's pictures, in order
  std::set<int> heard;              // the seconds whose click a part holds
  std::map<int, double> offsets;    // second → flash minus click, seconds,
                                    // where the flash is in the click's part
};

// Reads every part. "" on success, else the first part's failure.
std::string SummariseParts(const std::vector<std::string>& paths, const ClipRecipe& source,
                           PartsSummary* summary);

}  // namespace ovc::test
