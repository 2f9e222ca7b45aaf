#pragma once

#include <cstdint>
#include <functional>

namespace ovc::media {

// Times on the media time line, in 100-ns units.
using ReferenceTime = int64_t;
inline constexpr ReferenceTime kUnitsPerSecond = 10000000;

enum class MajorType { kNone, kVideo, kAudio };
enum class FormatType { kNone, kVideoInfo, kVideoInfo2, kWaveFormatEx };

// Subtypes, as four-character codes in little-endian words.
inline constexpr uint32_t kSubtypeYuy2 = 0x32595559;  // "YUY2"
inline constexpr uint32_t kSubtypePcm = 0x00000001;   // WAVE_FORMAT_PCM

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// The picture's bitmap header: size, planes, bits, compression.
struct BitmapHeader {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bit_count = 16;
  uint32_t compression = kSubtypeYuy2;
  uint32_t size_image = 0;  // bytes of one picture
};

// The plain video format block (FORMAT_VideoInfo).
struct VideoInfoHeader {
  Rect source;  // the part of the picture to show; empty = all
  Rect target;
  uint32_t bit_rate = 0;
  uint32_t bit_error_rate = 0;
  ReferenceTime avg_time_per_frame = 0;
  BitmapHeader bmi;
};

// The extended video format block (FORMAT_VideoInfo2): adds interlace flags
// and the picture aspect ratio for pictures whose pixels are not square.
struct VideoInfoHeader2 {
  Rect source;
  Rect target;
  uint32_t bit_rate = 0;
  uint32_t bit_error_rate = 0;
  ReferenceTime avg_time_per_frame = 0;
  uint32_t interlace_flags = 0;  // bit 0: interlaced
  uint32_t copy_protect_flags = 0;
  uint32_t picture_aspect_x = 0;
  uint32_t picture_aspect_y = 0;
  uint32_t control_flags = 0;
  BitmapHeader bmi;
};

// The audio format block (FORMAT_WaveFormatEx), interleaved PCM.
struct WaveFormat {
  uint16_t format_tag = 1;  // PCM
  uint16_t channels = 0;
  uint32_t samples_per_sec = 0;
  uint32_t avg_bytes_per_sec = 0;
  uint16_t block_align = 0;     // bytes of one sample frame
  uint16_t bits_per_sample = 0; // 16, or 8 for 8-bit sources
};

// A media type: major type, subtype and one format block.
struct MediaType {
  MajorType major = MajorType::kNone;
  uint32_t subtype = 0;
  FormatType format_type = FormatType::kNone;
  VideoInfoHeader video;    // valid for kVideoInfo
  VideoInfoHeader2 video2;  // valid for kVideoInfo2
  WaveFormat wave;          // valid for kWaveFormatEx
};

// The 4:2:0 planes a packed picture was made from: Y of width × height, U
// and V of width/2 × (height+1)/2, each with its stride in bytes.
struct PlanarPicture {
  const uint8_t* planes[3] = {};
  int strides[3] = {};
  int width = 0;
  int height = 0;
};

// One media sample as the grabber callbacks see it: its bytes and, when the
// type changed with this sample, the new type.
class MediaSample {
 public:
  virtual ~MediaSample() = default;
  virtual const uint8_t* data() const = 0;
  virtual int32_t length() const = 0;  // bytes
  // The type attached to this sample; false when it carries none (the type
  // is unchanged).
  virtual bool GetMediaType(MediaType* type) const = 0;
  // A picture the decoder has as 4:2:0 planes of the same size carries
  // them along, valid during the callback only: a receiver that scales the
  // picture anyway does better from them. Its packed bytes are then made
  // only when data() is first called, so such a receiver leaves data()
  // alone. Null otherwise.
  virtual const PlanarPicture* planar_source() const { return nullptr; }
  // Bytes after length() that belong to the sample's storage and may be
  // read (never part of the data): a receiver handing the bytes to a
  // scaler whose vector code reads past a line's end needs to know.
  virtual int32_t padding() const { return 0; }
};

// What a grabber calls for every sample before it passes the sample on:
// the sample, pointers to its start and stop times (100-ns units, relative to
// the segment start), a reserved value (always 0) and non-zero when the media
// type changed with this sample. Runs on the streaming thread of that stream
// and may block for as long as it needs; the graph's Stop waits for it. What
// the result means is the callback's own business: the grabber ignores it and
// passes the sample on unchanged.
using GrabberCallback = std::function<int32_t(MediaSample& sample, ReferenceTime* start,
                                              ReferenceTime* stop, int32_t reserved,
                                              int32_t type_changed)>;

}  // namespace ovc::media
