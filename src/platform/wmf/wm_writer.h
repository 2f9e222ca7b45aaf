#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/mutex.h"
#include "platform/av/reserved_file_io.h"
#include "platform/wmf/wm_av_handles.h"
#include "platform/wmf/wm_codecs.h"
#include "platform/wmf/wm_media_type.h"
#include "platform/wmf/wm_profile.h"
#include "platform/wmf/wm_result.h"
#include "platform/wmf/wm_stream_encoder.h"

namespace ovc::wmf {

// The attributes of the pixel aspect ratio of a video stream (32-bit).
inline constexpr char kAspectRatioX[] = "AspectRatioX";
inline constexpr char kAspectRatioY[] = "AspectRatioY";

// The uncompressed type an input takes (IWMInputMediaProps). A value:
// GetInputProps hands out a copy that SetInputProps applies.
class WmInputMediaProps {
 public:
  WmInputMediaProps(MajorType type, MediaType media_type, std::string connection_name)
      : type_(type), media_type_(std::move(media_type)),
        connection_name_(std::move(connection_name)) {}

  MajorType GetType() const { return type_; }
  const MediaType& GetMediaType() const { return media_type_; }
  // The type must be of the input's major type.
  HResult SetMediaType(const MediaType& media_type);
  const std::string& GetConnectionName() const { return connection_name_; }

 private:
  MajorType type_;
  MediaType media_type_;
  std::string connection_name_;
};

// A sample's memory (INSSBuffer).
class WmSample {
 public:
  explicit WmSample(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  // The sample's bytes, to fill before writing.
  HResult GetBuffer(uint8_t** data);
  uint32_t GetLength() const { return length_; }
  uint32_t GetMaxLength() const { return static_cast<uint32_t>(bytes_.size()); }
  HResult SetLength(uint32_t length);
  const uint8_t* data() const { return bytes_.data(); }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t length_ = static_cast<uint32_t>(bytes_.size());
};

// Writes a Windows Media file (IWMWriter, with IWMHeaderInfo3's attributes):
// an ASF file through libavformat's "asf" muxer, one stream per profile
// stream, each fed by one input that takes PCM (audio) or YUY2 (video).
//
//   idle --SetProfile--> configured --BeginWriting--> writing
//   writing --EndWriting--> configured
//
// While writing, WriteSample may be called from several threads at once:
// each input encodes under its own lock, so the audio and the video thread
// encode in parallel, and packets are muxed under one muxer lock. Setting up
// (profile, inputs, file name, attributes), BeginWriting and EndWriting wait
// for running writes. A failed file write is kept: every later write
// returns it, and EndWriting closes the file as far as it was written. The
// file holds space back for its end, so a full disk or the size limit
// ends the writing with the index still written.
class WmWriter {
 public:
  // The codecs installed at creation are the ones the writer can use.
  WmWriter();
  ~WmWriter();
  WmWriter(const WmWriter&) = delete;
  WmWriter& operator=(const WmWriter&) = delete;

  // Takes a copy of the profile and makes one input per stream, in the
  // profile's order, each with a default type: 16-bit PCM of the stream's
  // rate and channels, or YUY2 of the stream's frame size. Input types and
  // attributes set for an earlier profile are forgotten.
  HResult SetProfile(const WmProfile& profile);
  HResult GetInputCount(uint32_t* count) const;
  HResult GetInputProps(uint32_t input, std::unique_ptr<WmInputMediaProps>* props) const;
  // NS_E_INVALID_INPUT_FORMAT for a type the input can't convert from.
  HResult SetInputProps(uint32_t input, const WmInputMediaProps& props);
  // The file to write; its folder must exist.
  HResult SetOutputFilename(std::wstring_view name);

  // A 32-bit attribute of a stream of the profile. This writer knows the
  // pixel aspect ratio of a video stream, kAspectRatioX and kAspectRatioY.
  HResult SetAttribute(uint16_t stream_number, std::string_view name, uint32_t value);
  HResult GetAttribute(uint16_t stream_number, std::string_view name, uint32_t* value) const;

  // Opens every stream's encoder, then the file, and writes the header.
  // NS_E_{AUDIO,VIDEO}_CODEC_NOT_INSTALLED when a stream's codec is
  // missing, NS_E_{AUDIO,VIDEO}_CODEC_ERROR when its encoder refuses the
  // stream's parameters, NS_E_INVALID_OUTPUT_FORMAT for a stream that
  // can't be written, a file result when the file can't be created.
  HResult BeginWriting();

  HResult AllocateSample(uint32_t size, std::unique_ptr<WmSample>* sample) const;
  // One sample of an input; `sample_time` in 100-ns units from the start of
  // the file. Audio: whole sample frames of the input's PCM; the audio runs
  // on without gaps from its first sample's time. Video: one frame; times
  // are placed on the stream's frame grid. kSampleCleanPoint forces a key
  // frame.
  HResult WriteSample(uint32_t input, int64_t sample_time, uint32_t flags,
                      const WmSample& sample);

  // Encodes what the inputs still hold, writes the index and closes the
  // file. Returns the first failure of the file, if any.
  HResult EndWriting();

  bool writing() const;

  // errno of the file write that failed (ENOSPC, EFBIG, …), 0 while none
  // did: the failure result alone does not tell a full disk from the file
  // size limit.
  int file_errno() const;

 private:
  struct Input {
    MediaType type;                  // what the input takes
    std::string connection_name;
    size_t stream = 0;               // index into profile_->streams()
    Mutex lock;                      // one writer of this input at a time
    std::unique_ptr<StreamEncoder> encoder OVC_GUARDED_BY(lock);
    int av_stream = -1;              // set while state_lock_ is held alone
  };

  HResult OpenEncodersLocked() OVC_REQUIRES(state_lock_);
  HResult OpenFileLocked() OVC_REQUIRES(state_lock_) OVC_EXCLUDES(mux_lock_);
  // `time_base`: the encoder's, which the packet's times are in.
  HResult MuxPacket(int av_stream, AVRational time_base, AVPacket* packet)
      OVC_EXCLUDES(mux_lock_);
  HResult EndWritingLocked() OVC_REQUIRES(state_lock_) OVC_EXCLUDES(mux_lock_);
  AVRational PixelAspectLocked(uint16_t stream_number) const OVC_REQUIRES_SHARED(state_lock_);

  const std::shared_ptr<const CodecTable> codecs_;

  // Configuration, BeginWriting and EndWriting hold it exclusively,
  // WriteSample shares it.
  mutable SharedMutex state_lock_;
  std::unique_ptr<WmProfile> profile_ OVC_GUARDED_BY(state_lock_);
  std::vector<std::unique_ptr<Input>> inputs_ OVC_GUARDED_BY(state_lock_);
  std::string output_path_ OVC_GUARDED_BY(state_lock_);
  std::map<std::pair<uint16_t, std::string>, uint32_t> attributes_ OVC_GUARDED_BY(state_lock_);
  bool writing_ OVC_GUARDED_BY(state_lock_) = false;

  // Taken after state_lock_ and after an input's lock, never before them.
  mutable Mutex mux_lock_;
  // The muxer's file (its pb).
  std::unique_ptr<av::ReservedFileIo> file_ OVC_GUARDED_BY(mux_lock_);
  OutputContextPtr muxer_ OVC_GUARDED_BY(mux_lock_);
  HResult file_error_ OVC_GUARDED_BY(mux_lock_) = kSOk;
  int64_t packets_written_ OVC_GUARDED_BY(mux_lock_) = 0;
  int file_errno_ OVC_GUARDED_BY(mux_lock_) = 0;
};

// WMCreateWriter.
HResult WMCreateWriter(std::unique_ptr<WmWriter>* writer);

}  // namespace ovc::wmf
