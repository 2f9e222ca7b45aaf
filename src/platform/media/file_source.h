#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/media/av_handles.h"
#include "platform/media/filter.h"

namespace ovc::media {

// Reads the packets of one stream of a file through a demuxer of its own,
// so that every streaming thread reads at its own pace.
class StreamReader {
 public:
  // Opens `path` and selects stream `stream_index`; nullptr when the file
  // cannot be opened, is no regular file or has no such stream.
  static std::unique_ptr<StreamReader> Open(const std::string& path, int stream_index);

  // Moves to the key frame at or before `media_time` (100-ns units after
  // the file's origin `origin`, which is in the same units on the file's own
  // time line). False when the file cannot seek; the reader then stays at
  // the beginning.
  bool Seek(ReferenceTime media_time, ReferenceTime origin);
  // The next packet of the stream: 0, AVERROR_EOF at the end, or another
  // negative AVERROR.
  int Read(AVPacket* packet);

 private:
  StreamReader(FormatContextPtr context, int stream_index)
      : context_(std::move(context)), stream_index_(stream_index) {}

  FormatContextPtr context_;
  int stream_index_;
};

// What a decoder needs to know about the stream behind a source pin.
struct StreamInfo {
  int index = -1;
  const AVCodecParameters* parameters = nullptr;
  AVRational time_base{0, 1};
  AVRational frame_rate{0, 1};      // video; {0, 1} when unknown
  AVRational sample_aspect{0, 1};   // video; {0, 1} when unknown
  int rotation = 0;                 // video: degrees clockwise to stand upright
};

// The file source: opens a file with libavformat and offers its first video
// stream on output pin "Video" and its first audio stream on "Audio" (a pin
// only for a stream the file has). The pins carry the compressed streams;
// only a decoder filter connects to them. Named after the file's path in
// the graph.
class FileSource final : public Filter {
 public:
  // Opens the file: nullptr with *result kErrorFileNotFound when it does not
  // exist, kErrorNotAFile when it is not a regular file (a pipe, a device, a
  // folder: opening one may block for good, and none can seek),
  // kErrorUnknownFileType when libavformat cannot read it or it has neither
  // video nor audio, kErrorAbort when `abort` was set meanwhile. `abort`
  // (may be null) ends the reading and probing as soon as it is set, from
  // any thread.
  static std::shared_ptr<FileSource> Open(const std::string& path, MediaResult* result,
                                          const std::atomic<bool>* abort = nullptr);

  const std::string& path() const { return path_; }
  Pin* video_pin() const { return video_pin_; }
  Pin* audio_pin() const { return audio_pin_; }
  // The stream behind one of this source's pins.
  const StreamInfo& Info(const Pin& pin) const;
  // Media time 0, in 100-ns units on the file's own time line.
  ReferenceTime origin() const { return origin_; }
  // Duration in 100-ns units; 0 when unknown.
  ReferenceTime duration() const { return duration_; }

  std::unique_ptr<StreamReader> OpenReader(const Pin& pin) const;

 protected:
  bool ProposeType(const Pin& output, MediaType* type) const override;

 private:
  explicit FileSource(std::string path) : path_(std::move(path)) {}

  const std::string path_;
  FormatContextPtr context_;  // the probed file; kept for the streams' parameters
  Pin* video_pin_ = nullptr;
  Pin* audio_pin_ = nullptr;
  StreamInfo video_;
  StreamInfo audio_;
  ReferenceTime origin_ = 0;
  ReferenceTime duration_ = 0;
};

// Why no decoder takes a stream, in words for the user: "its format is
// unknown", "there is no decoder for its format (<codec>)", or "its <codec>
// decoder does not accept it".
std::string UndecodableReason(const StreamInfo& info);

// Converts between a stream's time base and 100-ns units.
ReferenceTime ToReferenceTime(int64_t timestamp, AVRational time_base);
int64_t FromReferenceTime(ReferenceTime time, AVRational time_base);

}  // namespace ovc::media
