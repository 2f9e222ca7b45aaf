#pragma once

#include <cstdint>

#include "platform/vfw/compression_manager.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace ovc::vfw {

// How a compressor's two-pass statistics are laid out, so that the second
// pass can count the frames the first pass recorded.
enum class StatsFormat {
  kNone,  // no two-pass rate control
  kLavc,  // libavcodec's rate control: one ';'-terminated entry per frame
  kXvid,  // libxvid's log: one line per frame that starts with its type i/p/b/s
};

// One installed compressor of type "vidc".
struct CompressorInfo {
  FourCC handler;
  const char* description;
  const char* encoder_name;    // libavcodec encoder
  FourCC codec_tag;            // tag the encoder is told to write, 0 = its own
  AVPixelFormat pixel_format;  // what the encoder takes; YUY2 is converted to it
  int max_dimension;           // largest width or height, pixels
  const char* registry_key;    // below HKCU
  const char* pass_mode_value;  // REG_DWORD naming the pass mode, nullptr = none
  uint32_t first_pass_mode;     // its value for the first of two passes
  uint32_t second_pass_mode;    // and for the second
  const char* stats_file_name;  // default file in the temp folder
  StatsFormat stats_format;
};

// Registry value names every compressor reads from its key.
inline constexpr char kBitRateValue[] = "bitrate";      // REG_DWORD, kbit/s
inline constexpr char kStatsFileValue[] = "stats file";  // REG_SZ, path

inline constexpr uint32_t kDefaultBitRateKbps = 800;

// The table entry for a handler (letters compared without regard to case),
// or nullptr.
const CompressorInfo* FindCompressor(FourCC handler);

// The handler with its letters in upper case.
FourCC UpperFourCC(FourCC code);

}  // namespace ovc::vfw
