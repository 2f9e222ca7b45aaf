#include "platform/vfw/compressor_table.h"


namespace ovc::vfw {
namespace {

// MPEG-4 part 2 allows 13-bit picture sizes; JPEG 16-bit ones.
constexpr int kMpeg4MaxDimension = 8191;
constexpr int kJpegMaxDimension = 65535;

constexpr CompressorInfo kCompressors[] = {
    {kHandlerXvid, "XviD MPEG-4 Codec", "libxvid", 0, AV_PIX_FMT_YUV420P, kMpeg4MaxDimension,
     "Software\\GNU\\XviD", "mode", 1, 2, "xvid.stats", StatsFormat::kXvid},
    {kHandlerDivx, "DivX MPEG-4 Codec", "mpeg4", kHandlerDivx, AV_PIX_FMT_YUV420P,
     kMpeg4MaxDimension, "Software\\DivXNetworks\\DivX4Windows", "VBR Mode", 2, 3, "divx.stats",
     StatsFormat::kLavc},
    {kHandlerMjpg, "Motion JPEG Codec", "mjpeg", 0, AV_PIX_FMT_YUVJ422P, kJpegMaxDimension,
     "Software\\Orvane\\Motion JPEG", nullptr, 0, 0, "mjpg.stats", StatsFormat::kNone},
};

}  // namespace

FourCC UpperFourCC(FourCC code) {
  FourCC upper = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    auto letter = static_cast<uint8_t>(code >> shift);
    if (letter >= 'a' && letter <= 'z') letter = static_cast<uint8_t>(letter - 'a' + 'A');
    upper |= static_cast<FourCC>(letter) << shift;
  }
  return upper;
}

const CompressorInfo* FindCompressor(FourCC handler) {
  FourCC wanted = UpperFourCC(handler);
  for (const CompressorInfo& info : kCompressors) {
    if (info.handler == wanted) return &info;
  }
  return nullptr;
}

}  // namespace ovc::vfw
