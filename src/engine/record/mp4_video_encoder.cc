#include "engine/record/mp4_video_encoder.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/trace.h"
#include "engine/record/rate_stats.h"
#include "engine/record/x264_stats.h"
#include "platform/av/i420_frame.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace ovc {
namespace {

// The picture sizes plain H.263 codes (sub-QCIF to 16CIF).
constexpr int kH263Sizes[][2] = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};

bool H263TakesSize(int width, int height) {
  for (const auto& size : kH263Sizes)
    if (size[0] == width && size[1] == height) return true;
  return false;
}

const char* X264ProfileName(int profile) {
  switch (profile) {
    case FF_PROFILE_H264_BASELINE:
      return "baseline";
    case FF_PROFILE_H264_MAIN:
      return "main";
    case FF_PROFILE_H264_HIGH:
      return "high";
    default:
      return nullptr;
  }
}

bool IsX264(const AVCodecContext* context) {
  return std::strcmp(context->codec->name, "libx264") == 0;
}

// Constant quality, and x265's profile, level and settings. The rate
// ceiling and buffer (rc_max_rate, rc_buffer_size) reach x264 and x265 as
// their VBV: constant quality then stays within the player's level.
void SetQualityOptions(const Mp4VideoSettings& settings, AVCodecContext* context) {
  if (settings.crf > 0) {
    av_opt_set_int(context->priv_data, "crf", settings.crf, 0);
    context->bit_rate = 0;
  }
  if (std::strcmp(context->codec->name, "libx265") != 0) return;
  if (settings.profile == FF_PROFILE_HEVC_MAIN)
    av_opt_set(context->priv_data, "profile", "main", 0);
  std::string params = settings.x265_params;
  if (settings.level > 0) {
    char level[32];
    std::snprintf(level, sizeof level, "level-idc=%d.%d", settings.level / 10,
                  settings.level % 10);
    params += (params.empty() ? "" : ":") + std::string(level);
  }
  if (!params.empty()) av_opt_set(context->priv_data, "x265-params", params.c_str(), 0);
}

// x264 keeps its own statistics (and its macroblock-tree file beside them):
// the range's at X264StatsPath, a first-pass part's beginning after the
// first picture beside them until they join the range's, and a later
// second-pass part's cut from the range's.
std::string X264StatsPath(const std::string& range_path) { return range_path + ".x264"; }
std::string X264PartStatsPath(const std::string& range_path) {
  return X264StatsPath(range_path) + ".part";
}
std::string X264CutStatsPath(const std::string& range_path) {
  return X264StatsPath(range_path) + ".from";
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

// x265, VP9 and AV1 keep first-pass statistics of their own making, which
// the range statistics can't cut by picture: they run one pass.
bool KeepsOwnStats(const AVCodecContext* context) {
  return context->codec_id == AV_CODEC_ID_HEVC || context->codec_id == AV_CODEC_ID_VP9 ||
         context->codec_id == AV_CODEC_ID_AV1;
}

// Sets the web encoders' own options (speed, tiles, constant quality). An
// option the installed encoder lacks is traced and left out: the stream
// is still right, only slower or larger.
void ApplyWebEncoderOptions(const Mp4VideoSettings& settings, AVCodecContext* context) {
  for (const auto& [name, value] : settings.encoder_options) {
    const int result = av_opt_set(context->priv_data, name.c_str(), value.c_str(), 0);
    if (result < 0)
      TracePrintf("%s takes no option %s=%s: %s", context->codec->name, name.c_str(),
                  value.c_str(), Mp4ErrorText(result).c_str());
  }
  // SVT-AV1 prints its set-up on the standard error unless told otherwise;
  // a setting of the user's own stays.
  if (std::strcmp(context->codec->name, "libsvtav1") == 0) setenv("SVT_LOG", "1", 0);
}

// Records past the first pass's last picture: the second pass may take a
// picture or two more over the same range, and one more record costs
// nothing.
constexpr double kPadSeconds = 2;

// The statistics file x264 writes (first pass) or reads (second pass) for
// this part; empty when the part runs one pass (traced).
std::string X264PassStats(const Mp4VideoSettings& settings, size_t pad) {
  const std::string range = X264StatsPath(settings.stats_path);
  if (settings.pass == 1) {
    if (settings.first_frame == 0) return range;
    const std::string part = X264PartStatsPath(settings.stats_path);
    std::remove(part.c_str());
    std::remove((part + ".mbtree").c_str());
    return part;
  }
  if (!IsRegularFile(range)) {
    TracePrintf("Video pass 2: no first-pass statistics in %s; one pass", range.c_str());
    return {};
  }
  if (settings.first_frame == 0) return range;
  const std::string cut = X264CutStatsPath(settings.stats_path);
  std::string why;
  if (WriteX264StatsFrom(range, settings.first_frame, pad, cut, &why) < 0) {
    TracePrintf("Video pass 2: this part begins at picture %lld and x264's statistics can't be "
                "cut there (%s); one pass",
                static_cast<long long>(settings.first_frame), why.c_str());
    return {};
  }
  return cut;
}

}  // namespace

int Mp4VideoEncoder::SetUpPass(const Mp4VideoSettings& settings, AVCodecContext* context,
                               std::string* stats_in) {
  int pass = settings.pass;
  if (pass != 1 && pass != 2) return 0;
  if (settings.crf > 0) {
    // Constant quality needs no statistics: the same quality both times.
    TracePrintf("Video pass %d: constant quality %d runs one pass", pass, settings.crf);
    return 0;
  }
  if (KeepsOwnStats(context)) {
    TracePrintf("Video pass %d: %s runs one pass", pass, context->codec->name);
    return 0;
  }
  const auto pad = static_cast<size_t>(std::lround(kPadSeconds / av_q2d(context->time_base)));
  if (IsX264(context)) {
    const std::string stats = X264PassStats(settings, pad);
    if (stats.empty()) return 0;
    av_opt_set(context->priv_data, "stats", stats.c_str(), 0);
  } else if (pass == 2) {
    *stats_in = ReadRangeStats(settings.stats_path, RateStatsFormat::kLavc, settings.first_frame,
                               pad);
    if (stats_in->empty()) {
      TracePrintf("Video pass 2: no first-pass statistics from picture %lld in %s; one pass",
                  static_cast<long long>(settings.first_frame), settings.stats_path.c_str());
      return 0;
    }
    context->stats_in = stats_in->data();
  }
  context->flags |= pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
  TracePrintf("Video pass %d of 2 with rate statistics", pass);
  return pass;
}

Mp4VideoEncoder::Mp4VideoEncoder(Mp4CodecContextPtr context, Mp4FramePtr frame,
                                 Mp4PacketPtr packet, int64_t peak_bits)
    : context_(std::move(context)),
      frame_(std::move(frame)),
      packet_(std::move(packet)),
      peak_window_(peak_bits, PeakWindow::FramesPerWindow(av_q2d(av_inv_q(context_->time_base)))),
      guard_peak_(peak_bits > 0) {}

std::unique_ptr<Mp4VideoEncoder> Mp4VideoEncoder::Open(const Mp4VideoSettings& settings,
                                                       std::string* reason) {
  const AVCodec* encoder =
      settings.encoder.empty() ? nullptr : avcodec_find_encoder_by_name(settings.encoder.c_str());
  if (!encoder && settings.encoder.empty()) encoder = avcodec_find_encoder(settings.codec);
  if (!encoder) {
    *reason = "the encoder is not in the installed FFmpeg libraries";
    return nullptr;
  }
  if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 || settings.height % 2) {
    *reason = "the picture size " + std::to_string(settings.width) + "x" +
              std::to_string(settings.height) + " is not a positive even size";
    return nullptr;
  }
  if (settings.codec == AV_CODEC_ID_H263 && !H263TakesSize(settings.width, settings.height)) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "the picture size %dx%d is not one that H.263 codes (128x96, 176x144, 352x288, "
                  "704x576 or 1408x1152)",
                  settings.width, settings.height);
    *reason = text;
    return nullptr;
  }

  Mp4CodecContextPtr context(avcodec_alloc_context3(encoder));
  Mp4FramePtr frame(av_frame_alloc());
  Mp4PacketPtr packet(av_packet_alloc());
  if (!context || !frame || !packet) {
    *reason = "out of memory";
    return nullptr;
  }
  context->codec_type = AVMEDIA_TYPE_VIDEO;
  context->codec_tag = settings.codec_tag;
  context->width = settings.width;
  context->height = settings.height;
  context->sample_aspect_ratio = settings.sample_aspect;
  context->pix_fmt = AV_PIX_FMT_YUV420P;
  context->time_base = settings.time_base;
  context->framerate = av_inv_q(settings.time_base);
  context->bit_rate = settings.bit_rate;
  context->bit_rate_tolerance = settings.bit_rate_tolerance;
  context->rc_max_rate = settings.max_bit_rate;
  context->rc_buffer_size = settings.buffer_bits;
  context->gop_size = settings.gop_size;
  if (settings.max_b_frames >= 0) context->max_b_frames = settings.max_b_frames;
  context->profile = settings.profile;
  context->level = settings.level;
  if (settings.display_aspect.num > 0)
    context->sample_aspect_ratio = av_div_q(settings.display_aspect,
                                            AVRational{settings.width, settings.height});
  context->flags |= AV_CODEC_FLAG_BITEXACT;
  if (settings.global_header) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  // Threads: x264 encodes several frames at once, which keeps one slice per
  // picture; the MPEG encoders of libavcodec thread by slices, which the
  // devices are not given.
  if (settings.codec == AV_CODEC_ID_H264) {
    context->thread_type = FF_THREAD_FRAME;
    context->thread_count = 0;
  } else if (settings.single_slice) {
    context->thread_count = 1;
  } else {
    context->thread_count = 0;
  }
  if (std::string(encoder->name) == "libx264") {
    if (const char* profile = X264ProfileName(settings.profile))
      av_opt_set(context->priv_data, "profile", profile, 0);
    if (!settings.x264_params.empty())
      av_opt_set(context->priv_data, "x264-params", settings.x264_params.c_str(), 0);
  }
  SetQualityOptions(settings, context.get());

  ApplyWebEncoderOptions(settings, context.get());

  // Key frames every gop_size pictures and nowhere else, so that a picture
  // left out for the peak rate (PeakWindow) is judged by its kind.
  if (settings.peak_bits > 0) av_opt_set_int(context->priv_data, "sc_threshold", 1000000000, 0);

  // libavcodec reads (and cuts up) the second pass's statistics while it
  // opens the encoder, and not afterwards.
  std::string stats_in;
  const int pass = SetUpPass(settings, context.get(), &stats_in);
  int result = avcodec_open2(context.get(), encoder, nullptr);
  context->stats_in = nullptr;
  if (result < 0) {
    *reason = Mp4ErrorText(result);
    return nullptr;
  }

  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = settings.width;
  frame->height = settings.height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) {
    *reason = "out of memory";
    return nullptr;
  }
  std::unique_ptr<Mp4VideoEncoder> video(new Mp4VideoEncoder(
      std::move(context), std::move(frame), std::move(packet),
      settings.max_b_frames == 0 || settings.codec == AV_CODEC_ID_H263 ? settings.peak_bits : 0));
  video->pass_ = pass;
  video->stats_path_ = settings.stats_path;
  video->first_frame_ = settings.first_frame;
  return video;
}

int Mp4VideoEncoder::FillStream(AVStream* stream) const {
  int result = avcodec_parameters_from_context(stream->codecpar, context_.get());
  if (result < 0) return result;
  for (int i = 0; i < context_->nb_coded_side_data; ++i) {
    const AVPacketSideData& side = context_->coded_side_data[i];
    if (side.type != AV_PKT_DATA_CPB_PROPERTIES) continue;
    uint8_t* copy = av_stream_new_side_data(stream, side.type, side.size);
    if (!copy) return AVERROR(ENOMEM);
    std::memcpy(copy, side.data, side.size);
  }
  return 0;
}

int Mp4VideoEncoder::Encode(const uint8_t* i420, const Mp4PacketWriter& write) {
  // The encoder may still hold the last picture: then the next one gets a
  // new buffer (nothing of the old one is needed, so nothing is copied).
  if (!av_frame_is_writable(frame_.get())) {
    av_frame_unref(frame_.get());
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = context_->width;
    frame_->height = context_->height;
    int result = av_frame_get_buffer(frame_.get(), 0);
    if (result < 0) return result;
  }
  av::CopyI420ToFrame(i420, av::I420Frame{context_->width, context_->height}, frame_.get());
  const bool key_frame = context_->gop_size > 0 && frames_coded_ % context_->gop_size == 0;
  if (guard_peak_ && !peak_window_.Admits(key_frame)) {
    peak_window_.Add(0, false);
    ++next_pts_;
    return 0;
  }
  frame_->pts = next_pts_++;
  ++frames_coded_;
  int result = avcodec_send_frame(context_.get(), frame_.get());
  if (result < 0) return result;
  return Receive(write);
}

int Mp4VideoEncoder::Flush(const Mp4PacketWriter& write) {
  int result = avcodec_send_frame(context_.get(), nullptr);
  if (result < 0 && result != AVERROR_EOF) return result;
  result = Receive(write);
  // A first pass that could not keep its statistics still wrote its file;
  // the second pass then runs one pass (traced).
  if (result >= 0 && pass_ == 1 && !IsX264(context_.get()))
    AppendRangeStats(stats_path_, RateStatsFormat::kLavc, stats_out_, first_frame_);
  // x264 writes its statistics out when it is closed.
  join_x264_part_ = result >= 0 && pass_ == 1 && IsX264(context_.get()) && first_frame_ > 0;
  return result;
}

Mp4VideoEncoder::~Mp4VideoEncoder() {
  if (!join_x264_part_) return;
  context_.reset();
  AppendX264RangeStats(X264StatsPath(stats_path_), X264PartStatsPath(stats_path_), first_frame_);
}

int Mp4VideoEncoder::Receive(const Mp4PacketWriter& write) {
  for (;;) {
    int result = avcodec_receive_packet(context_.get(), packet_.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
    if (result < 0) return result;
    if (pass_ == 1 && context_->stats_out) stats_out_ += context_->stats_out;
    if (packet_->duration <= 0) packet_->duration = 1;  // one frame period
    // Without B-frames every packet is the picture just given.
    if (guard_peak_)
      peak_window_.Add(static_cast<int64_t>(packet_->size) * 8,
                       (packet_->flags & AV_PKT_FLAG_KEY) != 0);
    result = write(packet_.get());
    av_packet_unref(packet_.get());
    if (result < 0) return result;
  }
}

}  // namespace ovc
