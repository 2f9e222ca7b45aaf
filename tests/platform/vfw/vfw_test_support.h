#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/vfw/compression_manager.h"

namespace ovc::vfw::test {

// "XVID" for kHandlerXvid.
std::string FourCCText(FourCC code);

// One packed YUY2 frame of a moving pattern: soft gradients that drift, a
// sliding box and, with `detail`, fine texture that costs bits.
std::vector<uint8_t> MakeYuy2Frame(int width, int height, int index, bool detail = false);

struct CompressedFrame {
  std::vector<uint8_t> bytes;
  bool key = false;
};

inline constexpr int kNoDetail = 1 << 30;

struct SequenceOptions {
  int width = 176;
  int height = 144;
  int frames = 64;
  uint32_t fps = 15;
  int detail_from = kNoDetail;  // first frame with fine texture
  int32_t quality = -1;         // frame information
  int32_t data_rate = 0;        // frame information, bytes/s
  int32_t vars_data_rate = 0;   // compression variables, kbytes/s
  bool i420 = false;            // the frames given as planar I420, not YUY2
};

// Runs one sequence the way the AVI encoder does: open, query, state round
// trip, frame information (key rate 15), start, the pattern's frames, end,
// close. Stops at and reports the first failure.
std::vector<CompressedFrame> CompressPattern(FourCC handler, const SequenceOptions& options);

// Decodes a sequence with libavcodec back into packed YUY2 frames.
std::vector<std::vector<uint8_t>> DecodeToYuy2(FourCC handler, int width, int height,
                                               const std::vector<CompressedFrame>& frames);

// Peak signal-to-noise ratio of two equally long byte images, dB.
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

int64_t TotalBytes(const std::vector<CompressedFrame>& frames);
double KbitPerSecond(const std::vector<CompressedFrame>& frames, uint32_t fps);

// Writes a compressor's pass-mode value as the settings store does.
void WritePassMode(FourCC handler, uint32_t value);

}  // namespace ovc::vfw::test
