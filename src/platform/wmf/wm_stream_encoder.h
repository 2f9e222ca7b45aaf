#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/wmf/wm_av_handles.h"
#include "platform/wmf/wm_codecs.h"
#include "platform/wmf/wm_profile.h"
#include "platform/wmf/wm_result.h"

namespace ovc::wmf {

// Takes each packet an encoder produces (in the encoder's time base).
using PacketSink = std::function<HResult(AVPacket* packet)>;

// Sample flags of WriteSample (WM_SF_*).
inline constexpr uint32_t kSampleCleanPoint = 0x1;     // start a key frame here

// One writer input: converts the input's uncompressed samples to what the
// stream's codec takes and encodes them. Not thread-safe; the writer calls
// each input's encoder from one thread at a time.
class StreamEncoder {
 public:
  virtual ~StreamEncoder() = default;

  // One sample of `size` bytes at `sample_time` (100-ns units). Packets go
  // to `sink` as they come out of the encoder.
  virtual HResult Encode(const uint8_t* data, uint32_t size, int64_t sample_time, uint32_t flags,
                         const PacketSink& sink) = 0;
  // Encodes what is still buffered and drains the encoder.
  virtual HResult Flush(const PacketSink& sink) = 0;

  const AVCodecContext* context() const { return context_.get(); }

 protected:
  CodecContextPtr context_;
};

// Opens the encoder of `codec` for an audio stream and a converter from the
// input's PCM type (any rate, 1 to 8 channels, resampled and remixed with
// libswresample). Results: the codec not installed, a codec error, an
// invalid output or input format, or no memory.
HResult CreateAudioStreamEncoder(const Codec& codec, const WmStreamConfig& stream,
                                 const MediaType& input, bool global_header,
                                 std::unique_ptr<StreamEncoder>* encoder);

// Opens the encoder of `codec` for a video stream and a converter from the
// input's YUY2 or I420 frames (scaled with libswscale when the sizes
// differ; I420 frames of the stream's size are copied as they are).
// `pixel_aspect` is the stream's pixel aspect ratio ({0, 1} = not set).
HResult CreateVideoStreamEncoder(const Codec& codec, const WmStreamConfig& stream,
                                 const MediaType& input, AVRational pixel_aspect,
                                 bool global_header, std::unique_ptr<StreamEncoder>* encoder);

// Whether `type` is a PCM input type the audio encoder converts from.
bool IsValidPcmInput(const MediaType& type);
// Whether `type` is a YUY2 or I420 input type the video encoder converts
// from.
bool IsValidVideoInput(const MediaType& type);

}  // namespace ovc::wmf
