#include "support/clip_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "platform/av/av_handles.h"

namespace ovc::test {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kPcmFrameSize = 1024;  // sample frames per PCM packet
constexpr double kClickHz = 2000.0;

using OutputContextPtr = av::OutputContextWithFilePtr;
using av::CodecContextPtr;
using av::FramePtr;
using av::PacketPtr;

int BandHeight(int height) { return std::max(8, height / kCodeBandDivisor); }

bool VariableRate(const ClipRecipe& clip_recipe) { return !clip_recipe.frame_durations_ms.empty(); }

// A clip with time jumps is a transport stream of joined pieces.
bool Spliced(const ClipRecipe& clip_recipe) { return !clip_recipe.time_jumps.empty(); }

// Start of picture n of a variable-rate clip, in milliseconds.
int64_t FrameStartMs(const ClipRecipe& clip_recipe, int n) {
  const std::vector<int>& durations = clip_recipe.frame_durations_ms;
  int64_t cycle = 0;
  for (int d : durations) cycle += d;
  const int cycles = n / static_cast<int>(durations.size());
  int64_t start = cycles * cycle;
  for (int i = 0; i < n % static_cast<int>(durations.size()); ++i) start += durations[i];
  return start;
}

ClipVideoCodec VideoCodecOf(const ClipRecipe& clip_recipe) {
  if (clip_recipe.video_codec != ClipVideoCodec::kDefault) return clip_recipe.video_codec;
  if (Spliced(clip_recipe)) return ClipVideoCodec::kMpeg2;
  return clip_recipe.container == ClipContainer::kMp4 ? ClipVideoCodec::kMpeg4 : ClipVideoCodec::kMpeg2;
}

ClipAudioCodec AudioCodecOf(const ClipRecipe& clip_recipe) {
  if (clip_recipe.audio_8bit) return ClipAudioCodec::kPcm;
  if (clip_recipe.audio_codec != ClipAudioCodec::kDefault) return clip_recipe.audio_codec;
  if (clip_recipe.container == ClipContainer::kMp4 && !Spliced(clip_recipe)) return ClipAudioCodec::kAac;
  return clip_recipe.channels <= 2 ? ClipAudioCodec::kMp2 : ClipAudioCodec::kPcm;
}

AVCodecID AudioCodecId(const ClipRecipe& clip_recipe) {
  switch (AudioCodecOf(clip_recipe)) {
    case ClipAudioCodec::kAac:
      return AV_CODEC_ID_AAC;
    case ClipAudioCodec::kMp2:
      return AV_CODEC_ID_MP2;
    default:
      return clip_recipe.audio_8bit ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
  }
}

// Sample frames per audio packet, and whether the last may be shorter.
int AudioFrameSize(const ClipRecipe& clip_recipe) {
  switch (AudioCodecOf(clip_recipe)) {
    case ClipAudioCodec::kAac:
      return 1024;
    case ClipAudioCodec::kMp2:
      return 1152;
    default:
      return kPcmFrameSize;
  }
}
bool ShortLastAudioFrame(const ClipRecipe& clip_recipe) { return AudioCodecOf(clip_recipe) != ClipAudioCodec::kMp2; }

// The audio packets of the clip: first sample index (on the clip's time
// line) and length, holes and the late start taken out.
struct AudioChunk {
  int64_t first;
  int length;
};
std::vector<AudioChunk> AudioChunks(const ClipRecipe& clip_recipe) {
  std::vector<AudioChunk> chunks;
  const int64_t begin = std::llround(std::ceil(clip_recipe.audio_start * clip_recipe.sample_rate));
  const int64_t end = std::llround(clip_recipe.seconds * clip_recipe.sample_rate);
  const int64_t gap_begin = std::llround(clip_recipe.gap_start * clip_recipe.sample_rate);
  const int64_t gap_end = std::llround((clip_recipe.gap_start + clip_recipe.gap_seconds) * clip_recipe.sample_rate);
  const int size = AudioFrameSize(clip_recipe);
  for (int64_t first = begin; first < end; first += size) {
    const int length = static_cast<int>(std::min<int64_t>(size, end - first));
    if (length < size && !ShortLastAudioFrame(clip_recipe)) break;
    if (clip_recipe.gap_seconds > 0 && first >= gap_begin && first < gap_end) continue;
    chunks.push_back({first, length});
  }
  return chunks;
}

// The clip's sound at sample `index` of channel `channel`, in [-1, 1].
double SoundAt(const ClipRecipe& clip_recipe, int64_t index, int channel) {
  const double t = static_cast<double>(index) / clip_recipe.sample_rate;
  const double into_second = t - std::floor(t);
  if (into_second < kClickSeconds) {
    return std::fmod(t * kClickHz * 2, 2.0) < 1.0 ? kClickLevel : -kClickLevel;
  }
  return kToneLevel * std::sin(2 * kPi * (330.0 + 110.0 * channel) * t);
}

void DrawPicture(const ClipRecipe& clip_recipe, int n, AVFrame* frame) {
  const int width = frame->width;
  const int height = frame->height;
  const int band = BandHeight(height);
  const bool flash = IsFlashFrameNumber(clip_recipe, n);
  for (int y = 0; y < height; ++y) {
    uint8_t* line = frame->data[0] + y * frame->linesize[0];
    for (int x = 0; x < width; ++x) {
      if (y < band) {
        const int block = x * kCodeBits / width;
        line[x] = (n >> (kCodeBits - 1 - block)) & 1 ? 235 : 16;
      } else {
        line[x] = flash ? 235 : static_cast<uint8_t>(40 + ((x + y + 4 * n) & 127));
      }
    }
  }
  for (int plane = 1; plane <= 2; ++plane) {
    for (int y = 0; y < (height + 1) / 2; ++y) {
      std::fill_n(frame->data[plane] + y * frame->linesize[plane], (width + 1) / 2, 128);
    }
  }
}

// `lead`: sample frames the sound is fed ahead of its time, to make up for
// an encoder delay the container cannot record.
void FillSound(const ClipRecipe& clip_recipe, const AudioChunk& chunk, int lead, AVFrame* frame) {
  const int channels = clip_recipe.channels;
  for (int i = 0; i < chunk.length; ++i) {
    for (int c = 0; c < channels; ++c) {
      const double value = SoundAt(clip_recipe, chunk.first + i + lead, c);
      switch (frame->format) {
        case AV_SAMPLE_FMT_FLTP:
          reinterpret_cast<float*>(frame->extended_data[c])[i] = static_cast<float>(value);
          break;
        case AV_SAMPLE_FMT_S16:
          reinterpret_cast<int16_t*>(frame->data[0])[i * channels + c] =
              static_cast<int16_t>(std::lround(value * 32767));
          break;
        case AV_SAMPLE_FMT_U8:
          frame->data[0][i * channels + c] = static_cast<uint8_t>(128 + std::lround(value * 127));
          break;
        default:
          break;
      }
    }
  }
}

// One stream being written: its encoder and the frame it is fed.
struct Track {
  AVStream* stream = nullptr;
  CodecContextPtr encoder;
  FramePtr frame;
};

std::string Describe(const char* what, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return std::string(what) + ": " + text;
}

// One stretch of a clip written as a file of its own: the pictures
// [first_frame, end_frame) and the sound packets [first_chunk, end_chunk),
// their time stamps moved by `shift` seconds.
struct Piece {
  int first_frame = 0;
  int end_frame = 0;
  size_t first_chunk = 0;
  size_t end_chunk = std::numeric_limits<size_t>::max();
  double shift = 0;
};

Piece WholeClip(const ClipRecipe& clip_recipe) {
  Piece piece;
  piece.end_frame = clip_recipe.has_video ? ClipFrameCount(clip_recipe) : 0;
  return piece;
}

class ClipWriter {
 public:
  // `transport_stream`: an MPEG transport stream rather than the container
  // the clip names.
  ClipWriter(const ClipRecipe& clip_recipe, const Piece& piece, bool transport_stream)
      : recipe_(clip_recipe), piece_(piece), transport_stream_(transport_stream),
        packet_(av_packet_alloc()) {}

  std::string Write(const std::string& path) {
    const char* format = transport_stream_                        ? "mpegts"
                         : recipe_.container == ClipContainer::kMp4 ? "mp4"
                         : recipe_.container == ClipContainer::kMkv ? "matroska"
                                                                  : "avi";
    AVFormatContext* raw = nullptr;
    int result = avformat_alloc_output_context2(&raw, nullptr, format, path.c_str());
    if (result < 0) return Describe("output format", result);
    output_.reset(raw);
    // Each piece keeps its stamps as they are: a muxer that moved a piece's
    // negative sound stamps (the encoder delay) would move that piece alone.
    if (transport_stream_) output_->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    if (recipe_.has_video) {
      if (std::string error = OpenVideo(); !error.empty()) return error;
    }
    if (recipe_.has_audio) {
      if (std::string error = OpenAudio(); !error.empty()) return error;
    }
    if (!recipe_.has_video && !recipe_.has_audio) return "a clip needs video or audio";
    if ((result = avio_open(&output_->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
      return Describe("open file", result);
    }
    if ((result = avformat_write_header(output_.get(), nullptr)) < 0) {
      return Describe("write header", result);
    }

    const int frames = recipe_.has_video ? std::min(piece_.end_frame, ClipFrameCount(recipe_)) : 0;
    const std::vector<AudioChunk> chunks =
        recipe_.has_audio ? AudioChunks(recipe_) : std::vector<AudioChunk>();
    const size_t end_chunk = std::min(piece_.end_chunk, chunks.size());
    int next_frame = piece_.first_frame;
    size_t next_chunk = piece_.first_chunk;
    while (next_frame < frames || next_chunk < end_chunk) {
      const double video_time = next_frame < frames ? FrameStartSeconds(recipe_, next_frame) : 1e300;
      const double audio_time = next_chunk < end_chunk
                                    ? static_cast<double>(chunks[next_chunk].first) / recipe_.sample_rate
                                    : 1e300;
      std::string error;
      if (video_time <= audio_time) error = WriteVideoFrame(next_frame++);
      else error = WriteAudioChunk(chunks[next_chunk++]);
      if (!error.empty()) return error;
    }
    for (Track* track : {&video_, &audio_}) {
      if (!track->encoder) continue;
      if (std::string error = Encode(*track, nullptr); !error.empty()) return error;
    }
    if ((result = av_write_trailer(output_.get())) < 0) return Describe("write trailer", result);
    return "";
  }

 private:
  std::string OpenVideo() {
    const AVCodecID id = VideoCodecOf(recipe_) == ClipVideoCodec::kMpeg4 ? AV_CODEC_ID_MPEG4
                                                                       : AV_CODEC_ID_MPEG2VIDEO;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec) return "no video encoder";
    video_.encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* encoder = video_.encoder.get();
    encoder->width = recipe_.width;
    encoder->height = recipe_.height;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    // A variable rate counts in milliseconds; a constant one in pictures.
    encoder->time_base =
        VariableRate(recipe_) ? AVRational{1, 1000} : AVRational{recipe_.fps_den, recipe_.fps_num};
    encoder->framerate = AVRational{recipe_.fps_num, recipe_.fps_den};
    encoder->sample_aspect_ratio = AVRational{recipe_.sample_aspect_num, recipe_.sample_aspect_den};
    encoder->gop_size = recipe_.gop;
    // Without B-pictures packets leave in display order with dts = pts, so
    // no muxer shifts the video against the sound.
    encoder->max_b_frames = recipe_.b_frames;
    if (id == AV_CODEC_ID_MPEG2VIDEO && recipe_.b_frames == 0)
      encoder->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (recipe_.interlaced) {
      encoder->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
      encoder->field_order = AV_FIELD_TT;
    }
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = FF_QP2LAMBDA * 2;
    encoder->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(encoder, codec, nullptr);
    if (result < 0) return Describe("open video encoder", result);
    video_.stream = avformat_new_stream(output_.get(), nullptr);
    avcodec_parameters_from_context(video_.stream->codecpar, encoder);
    video_.stream->time_base = encoder->time_base;
    video_.stream->avg_frame_rate = encoder->framerate;
    video_.stream->sample_aspect_ratio = encoder->sample_aspect_ratio;
    video_.frame.reset(av_frame_alloc());
    video_.frame->format = encoder->pix_fmt;
    video_.frame->width = recipe_.width;
    video_.frame->height = recipe_.height;
    video_.frame->interlaced_frame = recipe_.interlaced;
    video_.frame->top_field_first = recipe_.interlaced;
    if ((result = av_frame_get_buffer(video_.frame.get(), 0)) < 0) {
      return Describe("picture buffer", result);
    }
    return "";
  }

  std::string OpenAudio() {
    const AVCodec* codec = avcodec_find_encoder(AudioCodecId(recipe_));
    if (!codec) return "no audio encoder";
    audio_.encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* encoder = audio_.encoder.get();
    encoder->sample_rate = recipe_.sample_rate;
    av_channel_layout_default(&encoder->ch_layout, recipe_.channels);
    encoder->time_base = AVRational{1, recipe_.sample_rate};
    switch (AudioCodecOf(recipe_)) {
      case ClipAudioCodec::kAac:
        encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder->bit_rate = 64000 * recipe_.channels;
        break;
      case ClipAudioCodec::kMp2:
        encoder->sample_fmt = AV_SAMPLE_FMT_S16;
        encoder->bit_rate = 96000 * recipe_.channels;
        break;
      default:
        encoder->sample_fmt = recipe_.audio_8bit ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
        break;
    }
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(encoder, codec, nullptr);
    if (result < 0) return Describe("open audio encoder", result);
    audio_.stream = avformat_new_stream(output_.get(), nullptr);
    avcodec_parameters_from_context(audio_.stream->codecpar, encoder);
    audio_.stream->time_base = encoder->time_base;
    audio_.frame.reset(av_frame_alloc());
    audio_.frame->format = encoder->sample_fmt;
    av_channel_layout_copy(&audio_.frame->ch_layout, &encoder->ch_layout);
    audio_.frame->sample_rate = recipe_.sample_rate;
    audio_.frame->nb_samples = AudioFrameSize(recipe_);
    if ((result = av_frame_get_buffer(audio_.frame.get(), 0)) < 0) {
      return Describe("sound buffer", result);
    }
    return "";
  }

  std::string WriteVideoFrame(int n) {
    AVFrame* frame = video_.frame.get();
    int result = av_frame_make_writable(frame);
    if (result < 0) return Describe("picture buffer", result);
    DrawPicture(recipe_, n, frame);
    frame->pts = n;
    if (VariableRate(recipe_)) {
      frame->pts = FrameStartMs(recipe_, n);
      // The muxer takes each picture's duration from its packet.
      durations_[frame->pts] = FrameStartMs(recipe_, n + 1) - frame->pts;
    }
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    return Encode(video_, frame);
  }

  std::string WriteAudioChunk(const AudioChunk& chunk) {
    AVFrame* frame = audio_.frame.get();
    int result = av_frame_make_writable(frame);
    if (result < 0) return Describe("sound buffer", result);
    frame->nb_samples = chunk.length;
    // AVI keeps no encoder delay: the decoder would play the sound that
    // late. Feed it early instead, so that it is heard on time.
    const int lead = recipe_.container == ClipContainer::kAvi && !transport_stream_
                         ? audio_.encoder->initial_padding
                         : 0;
    FillSound(recipe_, chunk, lead, frame);
    frame->pts = chunk.first;
    return Encode(audio_, frame);
  }

  std::string Encode(Track& track, AVFrame* frame) {
    int result = avcodec_send_frame(track.encoder.get(), frame);
    if (result < 0) return Describe("encode", result);
    for (;;) {
      result = avcodec_receive_packet(track.encoder.get(), packet_.get());
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return "";
      if (result < 0) return Describe("encode", result);
      if (&track == &video_ && VariableRate(recipe_)) {
        const auto duration = durations_.find(packet_->pts);
        if (duration != durations_.end()) packet_->duration = duration->second;
      }
      av_packet_rescale_ts(packet_.get(), track.encoder->time_base, track.stream->time_base);
      if (piece_.shift != 0) {
        const int64_t ticks = av_rescale_q(std::llround(piece_.shift * 1e6), AVRational{1, 1000000},
                                           track.stream->time_base);
        if (packet_->pts != AV_NOPTS_VALUE) packet_->pts += ticks;
        if (packet_->dts != AV_NOPTS_VALUE) packet_->dts += ticks;
      }
      packet_->stream_index = track.stream->index;
      result = av_interleaved_write_frame(output_.get(), packet_.get());
      if (result < 0) return Describe("write packet", result);
    }
  }

  const ClipRecipe recipe_;
  const Piece piece_;
  const bool transport_stream_;
  OutputContextPtr output_;
  PacketPtr packet_;
  Track video_;
  Track audio_;
  std::map<int64_t, int64_t> durations_;  // variable rate: pts → duration, in ms
};

// Mean luma of a rectangle, reading every `step`-th byte from `first`.
double MeanLuma(const uint8_t* data, int stride, int step, int x0, int x1, int y0, int y1) {
  int64_t sum = 0;
  int64_t count = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      sum += data[y * stride + x * step];
      ++count;
    }
  }
  return count ? static_cast<double>(sum) / count : 0.0;
}

int ReadCode(const uint8_t* luma, int width, int height, int stride, int step) {
  if (width < kCodeBits || height < 8) return -1;
  const int band = BandHeight(height);
  const int y0 = band / 4;
  const int y1 = std::max(y0 + 1, band * 3 / 4);
  int number = 0;
  for (int bit = 0; bit < kCodeBits; ++bit) {
    const int x0 = bit * width / kCodeBits;
    const int x1 = (bit + 1) * width / kCodeBits;
    const int margin = (x1 - x0) / 4;
    const double mean = MeanLuma(luma, stride, step, x0 + margin, std::max(x0 + margin + 1, x1 - margin), y0, y1);
    number <<= 1;
    if (mean > 170) number |= 1;
    else if (mean >= 80) return -1;
  }
  return number;
}

bool ReadFlash(const uint8_t* luma, int width, int height, int stride, int step) {
  const int band = BandHeight(height);
  return MeanLuma(luma, stride, step, width / 8, width * 7 / 8, band + (height - band) / 8,
                  height - (height - band) / 8) > 200;
}

// A clip with time jumps: each stretch between jumps becomes a transport
// stream of its own (written beside `path`), and the streams are joined.
std::string WriteSplicedClip(const std::string& path, const ClipRecipe& clip_recipe) {
  const std::vector<ClipTimeJump>& jumps = clip_recipe.time_jumps;
  for (size_t k = 1; k < jumps.size(); ++k)
    if (!(jumps[k].at > jumps[k - 1].at)) return "time jumps out of order";
  const int frames = clip_recipe.has_video ? ClipFrameCount(clip_recipe) : 0;
  const std::vector<AudioChunk> chunks =
      clip_recipe.has_audio ? AudioChunks(clip_recipe) : std::vector<AudioChunk>();
  std::ofstream joined(path, std::ios::binary | std::ios::trunc);
  if (!joined) return "cannot write " + path;
  Piece piece;
  piece.end_frame = 0;
  piece.end_chunk = 0;
  for (size_t k = 0; k <= jumps.size(); ++k) {
    const double end = k < jumps.size() ? jumps[k].at : 1e300;
    piece.first_frame = piece.end_frame;
    piece.first_chunk = piece.end_chunk;
    while (piece.end_frame < frames && FrameStartSeconds(clip_recipe, piece.end_frame) < end)
      ++piece.end_frame;
    while (piece.end_chunk < chunks.size() &&
           static_cast<double>(chunks[piece.end_chunk].first) / clip_recipe.sample_rate < end)
      ++piece.end_chunk;
    const std::string piece_path = path + ".piece" + std::to_string(k) + ".ts";
    std::string error = ClipWriter(clip_recipe, piece, true).Write(piece_path);
    if (error.empty()) {
      std::ifstream in(piece_path, std::ios::binary);
      joined << in.rdbuf();
      if (!in || !joined) error = "cannot join " + piece_path;
    }
    std::remove(piece_path.c_str());
    if (!error.empty()) return error;
    if (k < jumps.size()) piece.shift += jumps[k].shift;
  }
  joined.close();
  return joined ? "" : "cannot write " + path;
}

}  // namespace

std::string WriteClip(const std::string& path, const ClipRecipe& clip_recipe) {
  if (clip_recipe.width <= 0 || clip_recipe.height <= 0 || clip_recipe.fps_num <= 0 || clip_recipe.fps_den <= 0 ||
      clip_recipe.seconds <= 0 || clip_recipe.sample_rate <= 0 || clip_recipe.channels <= 0 ||
      std::any_of(clip_recipe.frame_durations_ms.begin(), clip_recipe.frame_durations_ms.end(),
                  [](int d) { return d < 1; })) {
    return "bad clip clip_recipe";
  }
  if (Spliced(clip_recipe)) return WriteSplicedClip(path, clip_recipe);
  return ClipWriter(clip_recipe, WholeClip(clip_recipe), false).Write(path);
}

int ClipFrameCount(const ClipRecipe& clip_recipe) {
  if (VariableRate(clip_recipe)) {
    if (FrameStartMs(clip_recipe, static_cast<int>(clip_recipe.frame_durations_ms.size())) <= 0)
      return 0;  // no time passes: not a clip
    const int64_t end_ms = std::llround(clip_recipe.seconds * 1000);
    int n = 0;
    while (FrameStartMs(clip_recipe, n) < end_ms) ++n;
    return n;
  }
  return static_cast<int>(std::lround(clip_recipe.seconds * clip_recipe.fps_num / clip_recipe.fps_den));
}

double FrameStartSeconds(const ClipRecipe& clip_recipe, int n) {
  if (VariableRate(clip_recipe)) return static_cast<double>(FrameStartMs(clip_recipe, n)) / 1000;
  return static_cast<double>(n) * clip_recipe.fps_den / clip_recipe.fps_num;
}

int64_t ClipSampleCount(const ClipRecipe& clip_recipe) {
  int64_t total = 0;
  for (const AudioChunk& chunk : AudioChunks(clip_recipe)) total += chunk.length;
  return total;
}

bool IsFlashFrameNumber(const ClipRecipe& clip_recipe, int n) {
  // Frame n starts at n × den / num seconds; it is the first at or after a
  // whole second when frame n − 1 started in an earlier second.
  if (n == 0) return true;
  if (VariableRate(clip_recipe))
    return FrameStartMs(clip_recipe, n) / 1000 != FrameStartMs(clip_recipe, n - 1) / 1000;
  const int64_t second = static_cast<int64_t>(n) * clip_recipe.fps_den / clip_recipe.fps_num;
  const int64_t before = static_cast<int64_t>(n - 1) * clip_recipe.fps_den / clip_recipe.fps_num;
  return second != before;
}

int ReadFrameNumberFromLuma(const uint8_t* luma, int width, int height, int stride) {
  return ReadCode(luma, width, height, stride, 1);
}

int ReadFrameNumberFromYuy2(const uint8_t* yuy2, int width, int height, int stride) {
  return ReadCode(yuy2, width, height, stride, 2);
}

bool IsFlashLuma(const uint8_t* luma, int width, int height, int stride) {
  return ReadFlash(luma, width, height, stride, 1);
}

bool IsFlashYuy2(const uint8_t* yuy2, int width, int height, int stride) {
  return ReadFlash(yuy2, width, height, stride, 2);
}

std::vector<int64_t> FindClicks(const int16_t* samples, int64_t frames, int channels,
                                int sample_rate) {
  std::vector<int64_t> clicks;
  const int threshold = static_cast<int>(kClickLevel * 0.5 * 32767);
  const int64_t separation = sample_rate / 10;
  for (int64_t i = 0; i < frames; ++i) {
    if (std::abs(samples[i * channels]) <= threshold) continue;
    if (!clicks.empty() && i - clicks.back() < separation) continue;
    clicks.push_back(i);
  }
  return clicks;
}

}  // namespace ovc::test
