#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovc::test {

// Test clips written with libav*: a moving picture that carries its own
// frame number, and a tone that carries sync marks.
//
// Picture: the top band (kCodeBandHeight of the height, at least 8 lines)
// holds the frame number as kCodeBits blocks across the width, most
// significant bit first, white (luma 235) for 1 and black (luma 16) for 0.
// Below it a diagonal gradient moves with the frame number. The first frame
// at or after every whole second is a flash: everything below the band is
// white. Chroma is neutral throughout.
//
// Sound: every channel carries a sine tone of amplitude kToneLevel (channel
// c at 330 + 110 × c Hz) and, from every whole second for kClickSeconds, a
// square-wave click at kClickLevel; so a reader finds the seconds by
// amplitude alone. The times are on the clip's time line (the video's):
// audio that starts late or has a hole simply lacks those samples.

enum class ClipContainer { kMp4, kMkv, kAvi };
// kDefault picks by container: MPEG-4 part 2 in MP4, MPEG-2 in MKV and AVI
// (and in the transport stream of a clip with time jumps).
enum class ClipVideoCodec { kDefault, kMpeg4, kMpeg2 };
// kDefault picks by container: AAC in MP4; MP2 in MKV and AVI (and in the
// transport stream of a clip with time jumps) for mono and stereo, PCM for
// more channels; always PCM for 8-bit sound. A transport stream cannot carry
// PCM.
enum class ClipAudioCodec { kDefault, kAac, kMp2, kPcm };

// A jump in a clip's time stamps: from `at` seconds of the clip's time line
// on, the time stamps of both streams lie `shift` seconds further on than
// before it (negative: back). The content (frame numbers, flashes, clicks)
// stays on the clip's time line; only the stamps move.
struct ClipTimeJump {
  double at = 0;
  double shift = 0;
};

struct ClipRecipe {
  ClipContainer container = ClipContainer::kMp4;
  ClipVideoCodec video_codec = ClipVideoCodec::kDefault;
  ClipAudioCodec audio_codec = ClipAudioCodec::kDefault;
  bool has_video = true;
  bool has_audio = true;
  int width = 320;
  int height = 240;
  int fps_num = 25;
  int fps_den = 1;
  double seconds = 2.0;  // length of the clip's time line
  int sample_rate = 48000;
  int channels = 2;      // 1, 2, 6 (5.1), 8 (7.1), …
  bool audio_8bit = false;
  int sample_aspect_num = 1;  // pixel shape; 1:1 is square
  int sample_aspect_den = 1;
  double audio_start = 0.0;   // seconds: the sound begins this late
  double gap_start = 0.0;     // seconds: a hole in the sound…
  double gap_seconds = 0.0;   // …this long (0: none)
  int gop = 12;               // pictures from one key frame to the next
  // B-pictures between reference pictures (0: none, the packets leave in
  // the order they show).
  int b_frames = 0;
  // Pictures coded as two fields, top first (MPEG-2 only).
  bool interlaced = false;
  // A variable frame rate: when not empty, picture n lasts
  // frame_durations_ms[n % size] milliseconds (each 1 or more) and
  // fps_num / fps_den only names the stream's average rate. Empty: every
  // picture lasts fps_den / fps_num seconds.
  std::vector<int> frame_durations_ms;
  // Time stamps that jump, as in a spliced recording; jumps in increasing
  // order of `at`. When not empty, the clip is an MPEG transport stream
  // whatever `container` says (the one container whose time may go back):
  // each stretch between jumps is written as a stream of its own, starting
  // with a key frame and fresh encoders, and the stretches are joined byte
  // for byte.
  std::vector<ClipTimeJump> time_jumps;
};

inline constexpr int kCodeBits = 16;
inline constexpr int kCodeBandDivisor = 8;  // the band is height / 8 lines
inline constexpr double kToneLevel = 0.25;  // of full scale
inline constexpr double kClickLevel = 0.9;
inline constexpr double kClickSeconds = 0.02;

// Writes the clip to `path`. Returns "" on success, else what went wrong.
std::string WriteClip(const std::string& path, const ClipRecipe& clip_recipe);

// Pictures the clip has: seconds × frame rate, rounded; with a variable
// frame rate, the pictures that start before `seconds`.
int ClipFrameCount(const ClipRecipe& clip_recipe);
// Where picture n starts on the clip's time line, in seconds.
double FrameStartSeconds(const ClipRecipe& clip_recipe, int n);
// Sample frames the clip's sound has, holes and late start taken out.
int64_t ClipSampleCount(const ClipRecipe& clip_recipe);
// Whether frame `n` is a flash (the first at or after a whole second).
bool IsFlashFrameNumber(const ClipRecipe& clip_recipe, int n);

// The frame number a picture shows, read from its code band; -1 when the
// band cannot be read (a block neither clearly black nor clearly white).
int ReadFrameNumberFromLuma(const uint8_t* luma, int width, int height, int stride);
// The same for packed YUY2 (luma in every other byte).
int ReadFrameNumberFromYuy2(const uint8_t* yuy2, int width, int height, int stride);
// Whether the picture below the code band is a flash.
bool IsFlashLuma(const uint8_t* luma, int width, int height, int stride);
bool IsFlashYuy2(const uint8_t* yuy2, int width, int height, int stride);

// Sample-frame indexes at which a click begins in interleaved 16-bit PCM
// (channel 0 is read): the first sample of each run above half of
// kClickLevel, runs closer than a tenth of a second counting as one.
std::vector<int64_t> FindClicks(const int16_t* samples, int64_t frames, int channels,
                                int sample_rate);

}  // namespace ovc::test
