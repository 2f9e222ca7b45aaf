#include "platform/media/decoder_filter.h"

#include <pthread.h>

#include <algorithm>
#include <limits>

#include "common/trace.h"
#include "platform/media/unreferenced_pictures.h"

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
}

namespace ovc::media {
namespace {

// Bytes of decoded pictures a video decoder keeps beyond its stream's
// reference pictures: the frame threads hold one picture in the making
// each, the read-ahead finished ones. A 4K picture takes 12 MB (8-bit)
// to 25 MB (10-bit); left to the number of cores, a large machine would
// hold hundreds of MB of them.
constexpr int64_t kThreadPictureBytes = int64_t{64} << 20;
constexpr int64_t kAheadPictureBytes = int64_t{8} << 20;
// Packets whose times are kept to find the picture a B-picture follows:
// more than any stream reorders.
constexpr size_t kRecentPackets = 32;
// libavcodec's own ceiling on the threads it picks itself.
constexpr int kMaxDecoderThreads = 16;
// A PAL DVD picture, 4:2:0.
constexpr int64_t kSmallPictureBytes = 720 * 576 * 3 / 2;
// Threads with work on every picture of a conversion: the decoder's read-ahead,
// the capture, two encoders.
constexpr int kBusyStages = 4;

// Bytes of one decoded picture of the stream (4:2:0 8-bit when its pixel
// format is not known yet).
int64_t PictureBytes(const AVCodecParameters& parameters) {
  const auto format = static_cast<AVPixelFormat>(parameters.format);
  const int bytes = av_image_get_buffer_size(
      format == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : format, parameters.width,
      parameters.height, 1);
  return std::max<int64_t>(1, bytes);
}

}  // namespace

DecoderFilter::DecoderFilter(MajorType major)
    : major_(major),
      in_(AddPin("In", PinDirection::kInput)),
      out_(AddPin("Out", PinDirection::kOutput)),
      packet_(av_packet_alloc()) {}

DecoderFilter::~DecoderFilter() { StopStreaming(); }

ReferenceTime DecoderFilter::SegmentTime(int64_t timestamp) const {
  return ToReferenceTime(timestamp, info_.time_base) - source_->origin() - segment_.start;
}

void DecoderFilter::AnnounceType(const MediaType& type) {
  output_type_ = type;
  out_->set_media_type(type);
  sample_.SetMediaType(type);
}

void DecoderFilter::DeliverSample() {
  if (scheduler_->WaitForTurn(stream_, sample_.start(), sample_.stop()) == Release::kFlushed)
    return;
  Deliver(*out_, sample_);
  sample_.ClearMediaType();
}

bool DecoderFilter::ProposeType(const Pin& output, MediaType* type) const {
  if (&output != out_ || !codec_) return false;
  *type = output_type_;
  return true;
}

bool DecoderFilter::AcceptInput(const Pin& input, const Pin& upstream,
                                const MediaType& type) const {
  return &input == in_ && type.major == major_ &&
         dynamic_cast<const FileSource*>(upstream.filter()) != nullptr;
}

MediaResult DecoderFilter::OnConnected(Pin& pin) {
  if (&pin != in_) return kOk;
  const Pin* upstream = in_->ConnectedTo();
  const auto* source = dynamic_cast<const FileSource*>(upstream->filter());
  const StreamInfo& info = source->Info(*upstream);
  const AVCodec* decoder = avcodec_find_decoder(info.parameters->codec_id);
  if (!decoder) {
    TracePrintf("No decoder for %s in %s", avcodec_get_name(info.parameters->codec_id),
                source->path().c_str());
    return kErrorTypeNotAccepted;
  }
  CodecContextPtr codec(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), info.parameters) < 0) {
    return kErrorFail;
  }
  codec->pkt_timebase = info.time_base;
  codec->thread_count = 0;  // as many as the machine has
  frames_ahead_ = kFramesAhead;
  if (major_ == MajorType::kVideo) {
    // As many as the machine has, but large pictures in fewer threads and
    // read ahead less, so that a 4K source stays within memory.
    const int64_t picture = PictureBytes(*info.parameters);
    // A standard-definition picture decodes in a millisecond or so, less
    // than handing it between libavcodec's threads costs; on a machine with
    // no more cores than the conversion has busy stages, those stages keep
    // the cores busy instead.
    const bool alone = picture <= kSmallPictureBytes && av_cpu_count() <= kBusyStages;
    const int most = std::max(2, std::min(av_cpu_count() + 1, kMaxDecoderThreads));
    codec->thread_count =
        alone ? 1 : static_cast<int>(std::clamp<int64_t>(kThreadPictureBytes / picture, 2, most));
    frames_ahead_ = static_cast<size_t>(
        std::clamp<int64_t>(kAheadPictureBytes / picture, 1, static_cast<int64_t>(kFramesAhead)));
  }
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
    TracePrintf("Cannot open the %s decoder", decoder->name);
    return kErrorTypeNotAccepted;
  }
  source_ = source;
  info_ = info;
  codec_ = std::move(codec);
  MediaType type;
  const MediaResult result = PrepareOutput(info_, &type);
  if (Failed(result)) {
    source_ = nullptr;
    codec_.reset();
    return result;
  }
  output_type_ = type;
  reader_.reset();
  return kOk;
}

void DecoderFilter::OnDisconnected(Pin& pin) {
  if (&pin != in_) return;
  source_ = nullptr;
  codec_.reset();
  reader_.reset();
}

void DecoderFilter::StartStreaming(const StreamSegment& segment) {
  // Only a stream that ends in a renderer plays: without one nothing would
  // pace it or hold it while the graph is paused.
  if (!in_->IsConnected() || !out_->IsConnected() || !codec_ || !scheduler_ || stream_ < 0) {
    return;
  }
  segment_ = segment;
  stop_ = false;
  thread_ = std::thread(&DecoderFilter::StreamingLoop, this);
}

void DecoderFilter::WakeForStop() {
  // Under the lock, so that a thread about to wait sees stop_ or the call.
  { MutexLock lock(&ahead_mutex_); }
  ahead_changed_.SignalAll();
}

void DecoderFilter::RequestStop() {
  stop_ = true;
  WakeForStop();
}

void DecoderFilter::StopStreaming() {
  stop_ = true;
  WakeForStop();
  if (thread_.joinable()) thread_.join();
}

void DecoderFilter::StreamingLoop() {
  // Named for profilers and debuggers (15 characters at most).
  pthread_setname_np(pthread_self(), major_ == MajorType::kVideo ? "ovc-video" : "ovc-audio");
  if (!reader_) {
    reader_ = source_->OpenReader(*in_->ConnectedTo());
    reader_used_ = false;
  }
  if (!reader_) {
    TracePrintf("Cannot read %s", source_->path().c_str());
    DeliverEndOfStream(*out_);
    return;
  }
  if (reader_used_ || segment_.start > 0) reader_->Seek(segment_.start, source_->origin());
  reader_used_ = true;
  // A type change still attached to the sample goes out with the next one.
  avcodec_flush_buffers(codec_.get());
  ResetRun();

  if (major_ == MajorType::kVideo) {
    DeliverDecodedAhead();
  } else {
    Decode([this](FramePtr& frame) {
      DeliverFrame(*frame);
      av_frame_unref(frame.get());
      return true;
    });
  }
  if (!stop_) DeliverEndOfStream(*out_);
}

void DecoderFilter::Decode(const std::function<bool(FramePtr&)>& take) {
  FramePtr frame(av_frame_alloc());
  if (!frame) return;
  // Hands on every frame the decoder has ready; false once told to stop.
  auto receive = [&] {
    while (!stop_ && avcodec_receive_frame(codec_.get(), frame.get()) == 0) {
      if (!take(frame)) return false;
      if (!frame) frame.reset(av_frame_alloc());
      if (!frame) return false;
    }
    return true;
  };
  while (!stop_) {
    const int read = reader_->Read(packet_.get());
    if (read < 0) {
      // The end (or an unreadable rest): drain what the decoder still holds.
      avcodec_send_packet(codec_.get(), nullptr);
      receive();
      break;
    }
    // A picture left out of which the decoder would read nothing is kept
    // from it: it then takes none of the decoder's frame threads, which go
    // to pictures that are shown.
    if (may_leave_out_ && OfferToLeaveUndecoded(*packet_) && NothingToReadIn(*packet_)) {
      av_packet_unref(packet_.get());
      continue;
    }
    // A packet the decoder refuses is damaged: skip it.
    if (avcodec_send_packet(codec_.get(), packet_.get()) < 0) decode_all_ = true;
    av_packet_unref(packet_.get());
    if (!receive()) break;
  }
}

bool DecoderFilter::NothingToReadIn(const AVPacket& packet) const {
  if (av_packet_get_side_data(&packet, AV_PKT_DATA_NEW_EXTRADATA, nullptr) != nullptr)
    return false;
  return HoldsOnlyUnreferencedPictures(codec_->codec_id, codec_->extradata,
                                       codec_->extradata_size, packet.data, packet.size);
}

bool DecoderFilter::OfferToLeaveUndecoded(const AVPacket& packet) {
  int64_t duration = packet.duration;
  if (duration <= 0 && info_.frame_rate.num > 0 && info_.frame_rate.den > 0)
    duration = av_rescale_q(1, av_inv_q(info_.frame_rate), info_.time_base);
  const bool timed = packet.pts != AV_NOPTS_VALUE && duration > 0;
  bool leave = false;
  if (timed && !decode_all_ && (packet.flags & AV_PKT_FLAG_KEY) == 0) {
    // The picture it follows: the latest to show before it of those that
    // came, itself decoded or standing in for one left undecoded.
    int64_t after = AV_NOPTS_VALUE;
    int64_t before = std::numeric_limits<int64_t>::min();
    for (const auto& [timestamp, end] : recent_) {
      if (timestamp < packet.pts && timestamp > before) {
        before = timestamp;
        after = end;
      }
    }
    // Pictures before the segment start are decoded to reach it.
    const ReferenceTime start = SegmentTime(packet.pts);
    leave = after != AV_NOPTS_VALUE && start > 0 &&
            !demand_(SegmentTime(before), SegmentTime(after), start,
                     start + ToReferenceTime(duration, info_.time_base));
  }
  if (timed) {
    recent_.emplace_back(packet.pts, packet.pts + duration);
    if (recent_.size() > kRecentPackets) recent_.pop_front();
  }
  codec_->skip_frame = leave ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
  if (!leave) return false;
  // Packets come in decoding order: kept in the order they show.
  const auto at = std::upper_bound(
      undecoded_.begin(), undecoded_.end(), packet.pts,
      [](int64_t timestamp, const Undecoded& picture) { return timestamp < picture.timestamp; });
  undecoded_.insert(at, Undecoded{packet.pts, duration});
  return true;
}

void DecoderFilter::TakeUndecodedBefore(int64_t timestamp, std::deque<FramePtr>* into) {
  while (!undecoded_.empty() &&
         (timestamp == AV_NOPTS_VALUE || undecoded_.front().timestamp <= timestamp)) {
    const Undecoded picture = undecoded_.front();
    undecoded_.pop_front();
    // Decoded after all: other pictures refer to it.
    if (picture.timestamp == timestamp) continue;
    FramePtr stand_in(av_frame_alloc());
    if (!stand_in) continue;
    stand_in->pts = picture.timestamp;
    stand_in->best_effort_timestamp = picture.timestamp;
    stand_in->pkt_duration = picture.duration;
    into->push_back(std::move(stand_in));
    ++undecoded_count_;
  }
}

void DecoderFilter::DeliverDecodedAhead() {
  {
    MutexLock lock(&ahead_mutex_);
    ahead_.clear();
    decoding_done_ = false;
  }
  // The codecs whose decoders tell pictures nothing refers to by their
  // headers, and leave them out when told to skip those.
  const AVCodecID id = codec_->codec_id;
  may_leave_out_ = demand_ && (id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC ||
                               id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO);
  undecoded_.clear();
  recent_.clear();
  undecoded_count_ = 0;
  decode_all_ = false;
  std::thread decoder([this] {
    pthread_setname_np(pthread_self(), "ovc-decode");
    Decode([this](FramePtr& frame) {
      MutexLock lock(&ahead_mutex_);
      while (!stop_ && ahead_.size() >= frames_ahead_) ahead_changed_.Wait(&ahead_mutex_);
      if (stop_) return false;
      if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 ||
          frame->interlaced_frame != 0)
        decode_all_ = true;
      // Pictures come out in the order they show: those left undecoded
      // before this one come first.
      if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
        TakeUndecodedBefore(frame->best_effort_timestamp, &ahead_);
      ahead_.push_back(std::move(frame));  // the decoder gets a fresh frame
      lock.Unlock();
      ahead_changed_.SignalAll();
      return true;
    });
    {
      MutexLock lock(&ahead_mutex_);
      if (!stop_) TakeUndecodedBefore(AV_NOPTS_VALUE, &ahead_);
      decoding_done_ = true;
    }
    ahead_changed_.SignalAll();
  });

  while (true) {
    FramePtr frame;
    {
      MutexLock lock(&ahead_mutex_);
      while (!stop_ && ahead_.empty() && !decoding_done_) ahead_changed_.Wait(&ahead_mutex_);
      if (stop_ || ahead_.empty()) break;
      frame = std::move(ahead_.front());
      ahead_.pop_front();
    }
    ahead_changed_.SignalAll();  // room for the next one
    if (frame->buf[0] != nullptr) {
      DeliverFrame(*frame);
      if (may_leave_out_) last_delivered_ = std::move(frame);
    } else if (last_delivered_) {
      // A picture left undecoded: the one before it again, at its times.
      FramePtr again(av_frame_clone(last_delivered_.get()));
      if (!again) continue;
      again->pts = frame->pts;
      again->best_effort_timestamp = frame->best_effort_timestamp;
      again->pkt_duration = frame->pkt_duration;
      DeliverFrame(*again);
    }
  }
  decoder.join();
  last_delivered_.reset();
  if (undecoded_count_ > 0)
    TracePrintf("Pictures not used at the output's frame rate, left undecoded: %lld",
                static_cast<long long>(undecoded_count_));
  MutexLock lock(&ahead_mutex_);
  ahead_.clear();
}

}  // namespace ovc::media
