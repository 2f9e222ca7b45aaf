#pragma once

// The video compression manager: the installed video compressors of type
// "vidc" and the calls the AVI video encoder makes on them. The names and
// the order of use follow the Video for Windows calls they stand in for:
//
//   Windows call / message                     here
//   ------------------------------------------ ---------------------------------
//   ICOpen(type, handler, ICMODE_COMPRESS)     ICOpen(type, handler, kIcModeCompress)
//   ICCompressQuery / ICM_COMPRESS_QUERY       ICCompressQuery(hic, in, out)
//   ICGetStateSize (ICM_GETSTATE, no buffer)   ICGetStateSize(hic)
//   ICGetState / ICM_GETSTATE                  ICGetState(hic, buffer, size)
//   ICSetState / ICM_SETSTATE                  ICSetState(hic, state, size)
//   ICM_COMPRESS_FRAMES_INFO (ICCOMPRESSFRAMES) ICCompressFramesInfo(hic, info)
//   ICSeqCompressFrameStart(COMPVARS*, bmi)    ICSeqCompressFrameStart(&vars, in)
//   ICSeqCompressFrame(COMPVARS*, flags, bits,  ICSeqCompressFrame(&vars, flags, bits,
//                      &key, &size)                                &key, &size)
//   ICSeqCompressFrameEnd(COMPVARS*)           ICSeqCompressFrameEnd(&vars)
//   ICClose(hic)                               ICClose(hic)
//
// Message results keep the Windows numbering (kIcErrOk = 0, errors < 0).
// COMPVARS keeps the fields a sequence uses; its record size, valid flag and
// state pointer have no counterpart (the state goes through ICSetState).
//
// Installed compressors (libavcodec encoders behind them):
//   "XVID"  libxvid, registry key HKCU "Software\GNU\XviD"
//   "DIVX"  mpeg4 tagged DIVX, HKCU "Software\DivXNetworks\DivX4Windows"
//   "MJPG"  mjpeg (4:2:2, full range), HKCU "Software\Orvane\Motion JPEG"
// A compressor whose encoder this FFmpeg build lacks is not installed.
//
// Each compressor reads its settings from its registry key when it is
// opened (and again on ICSetState with no buffer):
//   "mode" (XVID) / "VBR Mode" (DIVX)  REG_DWORD pass mode: XVID 0 one pass,
//                                      1 first pass, 2 second pass; DIVX 0,
//                                      2, 3 alike; any other value one pass
//   "bitrate"                          REG_DWORD target in kbit/s, default
//                                      800; 0 = constant quality
//   "stats file"                       REG_SZ two-pass statistics file,
//                                      default <temp folder>/xvid.stats or
//                                      divx.stats
// The first pass writes the statistics file (complete when the sequence
// ends), the second pass reads it for libavcodec's two-pass rate control.
//
// Input is packed YUY2 (width × height × 2 bytes) or planar I420 (Y, then
// U and V of ⌈width/2⌉ × ⌈height/2⌉, lines right after each other), top-down.
// Every frame compresses to exactly one output frame at once (no B-frames,
// no delay).
//
// A compressor handle is used by one thread at a time.

#include <cstdint>

namespace ovc::vfw {

// Four-character codes as 32-bit little-endian words: "XVID" = 1145656920.
using FourCC = uint32_t;

constexpr FourCC MakeFourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

inline constexpr FourCC kTypeVideo = MakeFourCC('v', 'i', 'd', 'c');  // 1667524982
inline constexpr FourCC kHandlerXvid = MakeFourCC('X', 'V', 'I', 'D');
inline constexpr FourCC kHandlerDivx = MakeFourCC('D', 'I', 'V', 'X');
inline constexpr FourCC kHandlerMjpg = MakeFourCC('M', 'J', 'P', 'G');
inline constexpr FourCC kCompressionYuy2 = MakeFourCC('Y', 'U', 'Y', '2');
inline constexpr FourCC kCompressionI420 = MakeFourCC('I', '4', '2', '0');

// Message results.
inline constexpr int kIcErrOk = 0;
inline constexpr int kIcErrUnsupported = -1;
inline constexpr int kIcErrBadFormat = -2;
inline constexpr int kIcErrMemory = -3;
inline constexpr int kIcErrInternal = -4;
inline constexpr int kIcErrBadParam = -6;
inline constexpr int kIcErrBadSize = -7;
inline constexpr int kIcErrBadHandle = -8;

// ICOpen modes. Only compression is offered.
inline constexpr uint32_t kIcModeCompress = 1;
inline constexpr uint32_t kIcModeDecompress = 2;
inline constexpr uint32_t kIcModeQuery = 4;

// ICSeqCompressFrame flag: make this frame a key frame.
inline constexpr uint32_t kIcCompressKeyFrame = 0x1;

// The 40-byte bitmap header that describes a frame format.
struct BitmapInfoHeader {
  uint32_t size = sizeof(BitmapInfoHeader);
  int32_t width = 0;
  int32_t height = 0;  // YUV formats are top-down whatever the sign; must be > 0
  uint16_t planes = 1;
  uint16_t bit_count = 0;
  FourCC compression = 0;
  uint32_t size_image = 0;  // bytes of one frame, 0 = not given
  int32_t x_pels_per_meter = 0;
  int32_t y_pels_per_meter = 0;
  uint32_t clr_used = 0;
  uint32_t clr_important = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// The packed YUY2 and the planar I420 header for a frame size.
BitmapInfoHeader Yuy2Header(int width, int height);
BitmapInfoHeader I420Header(int width, int height);

// The frame information a compressor gets before a sequence.
struct CompressFrames {
  uint32_t flags = 0;
  int32_t start_frame = 0;
  int32_t frame_count = 0;  // 0 = unknown
  int32_t quality = -1;     // 0..10000, -1 = the compressor's own
  int32_t data_rate = 0;    // bytes per second, 0 = the compressor's own bit rate
  int32_t key_rate = 0;     // a key frame at least every this many frames, 0 = own
  uint32_t rate = 15;       // frame rate = rate / scale
  uint32_t scale = 1;
};

class Compressor;
using Hic = Compressor*;

// The compression variables of one sequence (COMPVARS).
struct CompVars {
  Hic hic = nullptr;
  FourCC type = kTypeVideo;
  FourCC handler = 0;
  int32_t key_frame_rate = 0;  // > 0: overrides the frame information's key rate
  int32_t quality = -1;        // >= 0: overrides the frame information's quality
  int32_t data_rate = 0;       // kbytes per second; > 0 overrides the data rate
  // Kept by the sequence calls:
  BitmapInfoHeader input{};    // the format given to ICSeqCompressFrameStart
  int32_t frame = 0;           // frames compressed so far
  int32_t key_count = 0;       // frames since the last key frame
};

// Opens a compressor by type and handler (handler letters compare without
// regard to case). nullptr when the type is not "vidc", the handler is not
// installed, its encoder is missing from this FFmpeg build, or the mode is
// not compression.
Hic ICOpen(FourCC type, FourCC handler, uint32_t mode);

// Ends a running sequence (as ICSeqCompressFrameEnd) and frees the
// compressor. kIcErrBadHandle for nullptr.
int ICClose(Hic hic);

// kIcErrOk when the compressor takes `in` (packed YUY2 of 16 bits or I420
// of 12, one plane, positive even-width size within its limits) and, when
// `out` is given,
// produces that: its own handler code at the same size. kIcErrBadFormat
// otherwise.
int ICCompressQuery(Hic hic, const BitmapInfoHeader* in, const BitmapInfoHeader* out);

// The size in bytes of the compressor's settings blob.
int ICGetStateSize(Hic hic);
// Copies the settings blob into `buffer`; returns its size, or
// kIcErrBadSize when `size` is too small.
int ICGetState(Hic hic, void* buffer, int size);
// Replaces the settings by a blob from ICGetState; returns the bytes used,
// or kIcErrBadParam for a blob that is not a valid one of this compressor.
// A null `state` reloads the settings from the registry.
int ICSetState(Hic hic, const void* state, int size);

// Sets frame rate, key rate, quality and data rate for the next sequence.
// kIcErrBadParam for a zero rate or scale or a quality above 10000.
int ICCompressFramesInfo(Hic hic, const CompressFrames& info);

// Starts a sequence: checks the input format, opens the encoder with the
// compressor's settings and, for a two-pass setting, starts writing or
// reads the statistics file. Fills vars->input and resets the counters.
// false on failure (traced).
bool ICSeqCompressFrameStart(CompVars* vars, const BitmapInfoHeader& in);

// Compresses one frame of vars->input's format (size_image bytes at
// `bits`). Returns the compressed bytes, valid until the next call on this
// sequence, with their count in *size and the key-frame flag in *key;
// nullptr on failure (traced).
const void* ICSeqCompressFrame(CompVars* vars, uint32_t flags, const void* bits, bool* key,
                               int32_t* size);

// Ends the sequence: a first pass completes its statistics file. Does
// nothing when no sequence runs.
void ICSeqCompressFrameEnd(CompVars* vars);

// Writes the bit rate (kbit/s) a compressor reads when it opens: the
// "bitrate" value of its registry key. Returns the registry status; an
// unknown handler gives the registry's invalid-parameter status.
int SetCompressorBitRate(FourCC handler, uint32_t kbps);

// The registry key (below HKCU) a compressor reads, or nullptr when the
// handler is not one of the table.
const char* CompressorRegistryKey(FourCC handler);

}  // namespace ovc::vfw
