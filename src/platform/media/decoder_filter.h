#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "common/mutex.h"
#include "platform/media/av_handles.h"
#include "platform/media/file_source.h"
#include "platform/media/filter.h"
#include "platform/media/presentation_scheduler.h"
#include "platform/media/sample.h"

namespace ovc::media {

// A decoder with pins "In" (a compressed stream of the file source) and
// "Out" (decoded samples). It owns the stream's streaming thread: read a
// packet with its own reader, decode it, convert each frame and deliver it
// downstream, where the grabber's callback and the renderer's wait run on
// the same thread. Frames that end before the segment start (reached by
// seeking to the key frame before the target) are decoded and dropped.
// Before a sample goes down, the scheduler may hold it back to keep the
// streams together (free-running). A video decoder reads and decodes on a
// second thread, a few frames ahead of the streaming thread, so that
// decoding the next picture overlaps converting and delivering this one.
class DecoderFilter : public Filter {
 public:
  ~DecoderFilter() override;

  Pin* in() const { return in_; }
  Pin* out() const { return out_; }

  // Whether the receiver uses a picture shown from `start` to `stop`
  // (segment time) that follows one shown from `previous` to `after`. Asked
  // on the decoding thread.
  using PictureDemand = std::function<bool(ReferenceTime previous, ReferenceTime after,
                                           ReferenceTime start, ReferenceTime stop)>;
  // A video decoder asks `demand` before it decodes a picture that no other
  // picture refers to (of H.264, HEVC, MPEG-1 and MPEG-2, which mark them),
  // and leaves one that is not used undecoded: the picture before it goes
  // down again in its place, with its times, so that the receiver sees every
  // picture's time as without it. Set while no streaming thread runs; none
  // (the default): every picture is decoded.
  void set_picture_demand(PictureDemand demand) { demand_ = std::move(demand); }

 protected:
  explicit DecoderFilter(MajorType major);

  // Works out the output type for the stream; the codec is open. A failure
  // refuses the input connection.
  virtual MediaResult PrepareOutput(const StreamInfo& info, MediaType* type) = 0;
  // A streaming run starts: forget timing carried over from the last one.
  virtual void ResetRun() = 0;
  // One decoded frame: convert it into sample() and deliver it with
  // DeliverSample, or drop it.
  virtual void DeliverFrame(AVFrame& frame) = 0;

  // Segment time, in 100-ns units, of a timestamp in the stream's time base.
  ReferenceTime SegmentTime(int64_t timestamp) const;
  const StreamInfo& stream_info() const { return info_; }
  const MediaType& output_type() const { return output_type_; }
  Sample& sample() { return sample_; }
  // The stream's format changed: the next delivered sample carries `type`.
  void AnnounceType(const MediaType& type);
  // Sends sample() downstream once the scheduler lets it go.
  void DeliverSample();

  bool ProposeType(const Pin& output, MediaType* type) const override;
  bool AcceptInput(const Pin& input, const Pin& upstream, const MediaType& type) const override;
  MediaResult OnConnected(Pin& pin) override;
  void OnDisconnected(Pin& pin) override;
  void StartStreaming(const StreamSegment& segment) override;
  void RequestStop() override;
  void StopStreaming() override;

 private:
  // Frames decoded ahead of the streaming thread (video): enough to keep
  // the decoder busy while one is delivered; fewer for large pictures.
  static constexpr size_t kFramesAhead = 3;

  void StreamingLoop();
  // Reads and decodes to the end of the stream or a stop, handing each
  // frame to `take` (false: stop).
  void Decode(const std::function<bool(FramePtr&)>& take);
  // The video way: Decode on a thread of its own, deliver here.
  void DeliverDecodedAhead();
  // Before `packet` goes to the decoder: tells it to leave the picture
  // undecoded where demand_ does not use it and nothing refers to it, and
  // remembers that picture's times. True when it is to be left out.
  bool OfferToLeaveUndecoded(const AVPacket& packet);
  // Whether the decoder, told to leave out `packet`'s picture, would read
  // nothing of it that it keeps.
  bool NothingToReadIn(const AVPacket& packet) const;
  // The pictures left undecoded that show before `timestamp` (all of them:
  // AV_NOPTS_VALUE), in order, as frames without pictures that carry their
  // times; a decoded picture at `timestamp` itself was not left out.
  void TakeUndecodedBefore(int64_t timestamp, std::deque<FramePtr>* into)
      OVC_REQUIRES(ahead_mutex_);
  // Wakes both threads of a run after stop_ was set.
  void WakeForStop();

  friend class FilterGraph;

  const MajorType major_;
  Pin* const in_;
  Pin* const out_;

  // Set by the graph while no streaming thread runs: the stream of the
  // renderer this decoder feeds (-1: none).
  PresentationScheduler* scheduler_ = nullptr;
  int stream_ = -1;

  // Set while "In" is connected; read by the streaming thread.
  const FileSource* source_ = nullptr;
  StreamInfo info_;
  CodecContextPtr codec_;
  size_t frames_ahead_ = kFramesAhead;
  MediaType output_type_;

  // Written by the control thread while no streaming thread runs.
  std::thread thread_;
  StreamSegment segment_;
  std::unique_ptr<StreamReader> reader_;  // kept from run to run
  bool reader_used_ = false;
  std::atomic<bool> stop_{false};

  // Written by the streaming thread only.
  Sample sample_;
  // Written by the thread that decodes.
  PacketPtr packet_;
  // The pictures the decoder was told it may leave undecoded, in the order
  // they show: time stamp and duration (the stream's time base).
  struct Undecoded {
    int64_t timestamp;
    int64_t duration;
  };
  std::deque<Undecoded> undecoded_;
  // The latest packets' time stamps and ends (the stream's time base), in
  // the order they came: the picture a candidate follows is among them.
  std::deque<std::pair<int64_t, int64_t>> recent_;
  int64_t undecoded_count_ = 0;  // of this run, for the trace
  // Whether this run met damage or fields: from then on every picture is
  // decoded, as the decoder hides damage with the picture decoded before
  // it, and the two fields of a frame may differ in whether others refer to
  // them.
  bool decode_all_ = false;

  // Set while no streaming thread runs.
  PictureDemand demand_;
  // Whether this video run may leave pictures undecoded (a demand is set,
  // the codec marks the pictures nothing refers to); set before its
  // decoding thread starts.
  bool may_leave_out_ = false;
  // Written by the streaming thread only: the picture last delivered, kept
  // while pictures may be left undecoded, to stand in for them.
  FramePtr last_delivered_;

  // Frames between the two threads of a video run.
  Mutex ahead_mutex_;
  CondVar ahead_changed_;
  // A frame without a picture (no buffer) stands for a picture left
  // undecoded.
  std::deque<FramePtr> ahead_ OVC_GUARDED_BY(ahead_mutex_);
  bool decoding_done_ OVC_GUARDED_BY(ahead_mutex_) = false;
};

}  // namespace ovc::media
