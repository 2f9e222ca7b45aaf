#pragma once

#include <string>

namespace ovc {

// What the main window tells the user about the open file.
struct SourceFacts {
  int width = 0;  // pixels; 0 = no picture
  int height = 0;
  // The shape the picture is shown at (its pixels' shape included); 0 when
  // it is the pixel size's.
  int aspect_x = 0;
  int aspect_y = 0;
  double frames_per_second = 0;
  double seconds = 0;  // 0 = unknown
  bool has_sound = false;
  int sample_rate = 0;  // Hz
  int channels = 0;
};

// Reads the facts of the file at `path`; false when it cannot be read as a
// media file.
bool ReadSourceFacts(const std::string& path, SourceFacts* facts);

// One line for the window, e.g. "640 × 360 (16:9)  25 fps  0:00:05  sound
// 48000 Hz stereo", or "… no sound".
std::string SourceFactsText(const SourceFacts& facts);

// "clip.mp4 - <product>": the window's caption for the open file.
std::string CaptionForSource(const std::string& source_path, const std::string& product);

}  // namespace ovc
