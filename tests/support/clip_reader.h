#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovc::test {

// What a converted file holds, decoded: per picture its time, the frame
// number it shows and whether it is a flash; the sound as interleaved
// 16-bit PCM.
struct DecodedClip {
  std::vector<double> picture_times;  // seconds from the first picture
  std::vector<int> frame_numbers;     // -1 when unreadable
  std::vector<bool> flashes;
  double frame_rate = 0;              // the video stream's nominal rate
  std::vector<int16_t> audio;
  int sample_rate = 0;
  int channels = 0;
  double audio_start = 0;             // seconds after the first picture
};

// Decodes the first video and audio streams of `path`. "" on success, else
// what went wrong.
std::string ReadClip(const std::string& path, DecodedClip* clip);

// Copies `source` to `target` (same container) without the video packets
// whose time lies in [from, to) seconds: a hole in the pictures. Cut at key
// frames for a clean result. "" on success, else what went wrong.
std::string CutVideoHole(const std::string& source, const std::string& target, double from,
                         double to);

}  // namespace ovc::test
