#include "platform/vfw/compressor.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/trace.h"
#include "platform/av/i420_frame.h"

namespace ovc::vfw {
namespace {

// Key-frame distance when neither the caller nor the frame information
// gives one: ten seconds at 30 frames per second.
constexpr int kDefaultKeyInterval = 300;

// Returned for a frame that compressed to nothing, so that success is never
// a null pointer.
constexpr uint8_t kNoBytes[1] = {};

// The pixel format of an input the compressors take, or AV_PIX_FMT_NONE.
AVPixelFormat InputPixelFormat(const BitmapInfoHeader& in) {
  const FourCC compression = UpperFourCC(in.compression);
  if (compression == kCompressionYuy2 && in.bit_count == 16) return AV_PIX_FMT_YUYV422;
  if (compression == kCompressionI420 && in.bit_count == 12) return AV_PIX_FMT_YUV420P;
  return AV_PIX_FMT_NONE;
}

}  // namespace

Compressor::Compressor(const CompressorInfo& info)
    : info_(info), settings_(ReadCompressorSettings(info)) {}

Compressor::~Compressor() { EndSequence(); }

int Compressor::Query(const BitmapInfoHeader* in, const BitmapInfoHeader* out) const {
  if (in == nullptr || in->size < sizeof(BitmapInfoHeader) ||
      InputPixelFormat(*in) == AV_PIX_FMT_NONE || in->planes != 1 || in->width <= 0 ||
      in->height <= 0 || in->width % 2 != 0 || in->width > info_.max_dimension ||
      in->height > info_.max_dimension) {
    return kIcErrBadFormat;
  }
  // 4:2:0 encoders halve the chroma rows too.
  if (info_.pixel_format == AV_PIX_FMT_YUV420P && in->height % 2 != 0) return kIcErrBadFormat;
  const uint64_t frame_bytes =
      InputPixelFormat(*in) == AV_PIX_FMT_YUV420P
          ? av::I420Frame{in->width, in->height}.bytes()
          : static_cast<uint64_t>(in->width) * static_cast<uint64_t>(in->height) * 2;
  if (in->size_image != 0 && in->size_image < frame_bytes) return kIcErrBadFormat;
  if (out != nullptr && (UpperFourCC(out->compression) != info_.handler ||
                         out->width != in->width || out->height != in->height)) {
    return kIcErrBadFormat;
  }
  return kIcErrOk;
}

int Compressor::StateSize() const {
  return static_cast<int>(SerializeSettings(info_.handler, settings_).size());
}

int Compressor::GetState(void* buffer, int size) const {
  std::string blob = SerializeSettings(info_.handler, settings_);
  if (buffer == nullptr) return static_cast<int>(blob.size());
  if (size < 0 || static_cast<size_t>(size) < blob.size()) return kIcErrBadSize;
  std::memcpy(buffer, blob.data(), blob.size());
  return static_cast<int>(blob.size());
}

int Compressor::SetState(const void* state, int size) {
  if (state == nullptr) {
    settings_ = ReadCompressorSettings(info_);
    return kIcErrOk;
  }
  if (size < 0) return kIcErrBadParam;
  std::optional<CompressorSettings> parsed = ParseSettings(
      info_.handler, std::string_view(static_cast<const char*>(state), static_cast<size_t>(size)));
  if (!parsed) return kIcErrBadParam;
  settings_ = std::move(*parsed);
  return size;
}

int Compressor::SetFramesInfo(const CompressFrames& info) {
  if (info.rate == 0 || info.scale == 0 || info.rate > INT32_MAX || info.scale > INT32_MAX ||
      info.quality < -1 || info.quality > static_cast<int32_t>(CompressorSettings::kMaxQuality) ||
      info.data_rate < 0 || info.key_rate < 0) {
    return kIcErrBadParam;
  }
  frames_info_ = info;
  return kIcErrOk;
}

bool Compressor::StartSequence(CompVars* vars, const BitmapInfoHeader& in) {
  EndSequence();
  if (Query(&in, nullptr) != kIcErrOk) {
    TracePrintf("vfw: %s does not take the input format %dx%d", info_.description, in.width,
                in.height);
    return false;
  }

  auto sequence = std::make_unique<Sequence>();
  EncoderSetup& setup = sequence->setup;
  setup.info = &info_;
  setup.input_format = InputPixelFormat(in);
  setup.width = in.width;
  setup.height = in.height;
  setup.frame_rate = AVRational{static_cast<int>(frames_info_.rate),
                                static_cast<int>(frames_info_.scale)};
  setup.key_interval = vars->key_frame_rate > 0   ? vars->key_frame_rate
                       : frames_info_.key_rate > 0 ? frames_info_.key_rate
                                                   : kDefaultKeyInterval;
  setup.quality = vars->quality >= 0         ? static_cast<uint32_t>(vars->quality)
                  : frames_info_.quality >= 0 ? static_cast<uint32_t>(frames_info_.quality)
                                              : settings_.quality;
  if (setup.quality > CompressorSettings::kMaxQuality) setup.quality = settings_.quality;
  if (vars->data_rate > 0) {
    setup.bit_rate = int64_t{vars->data_rate} * 1024 * 8;
  } else if (frames_info_.data_rate > 0) {
    setup.bit_rate = int64_t{frames_info_.data_rate} * 8;
  } else {
    setup.bit_rate = int64_t{settings_.bit_rate_kbps} * 1000;
  }
  // Two passes need a bit rate to aim at and a rate control that keeps
  // statistics; otherwise the compressor runs one pass.
  if (setup.bit_rate > 0 && info_.stats_format != StatsFormat::kNone) {
    setup.pass = settings_.pass_mode;
  }

  EncoderSetup open_setup = setup;
  if (setup.pass == PassMode::kFirstPass) {
    sequence->stats_writer = StatsWriter::Create(settings_.stats_file);
    if (!sequence->stats_writer) return false;
  } else if (setup.pass == PassMode::kSecondPass) {
    if (!ReadStatsFile(settings_.stats_file, &open_setup.stats_in)) {
      TracePrintf("vfw: %s second pass finds no statistics in %s", info_.description,
                  settings_.stats_file.c_str());
      return false;
    }
    sequence->stats_frames = CountStatsFrames(info_.stats_format, open_setup.stats_in);
    if (sequence->stats_frames <= 0) {
      TracePrintf("vfw: %s second pass finds no frames in %s", info_.description,
                  settings_.stats_file.c_str());
      return false;
    }
  }
  sequence->encoder = SequenceEncoder::Open(std::move(open_setup));
  if (!sequence->encoder) return false;

  vars->input = in;
  vars->frame = 0;
  vars->key_count = 0;
  sequence_ = std::move(sequence);
  return true;
}

bool Compressor::ContinueInOnePass() {
  TracePrintf("vfw: %s second pass runs past the %d frames of the first pass; one pass from here",
              info_.description, sequence_->stats_frames);
  EncoderSetup setup = sequence_->setup;
  setup.pass = PassMode::kOnePass;
  sequence_->encoder = SequenceEncoder::Open(std::move(setup));
  sequence_->past_stats = true;
  return sequence_->encoder != nullptr;
}

const void* Compressor::CompressFrame(CompVars* vars, uint32_t flags, const void* bits, bool* key,
                                      int32_t* size) {
  if (!sequence_ || !sequence_->encoder || bits == nullptr || key == nullptr ||
      size == nullptr) {
    return nullptr;
  }
  const int key_interval = sequence_->setup.key_interval;
  bool force_key = (flags & kIcCompressKeyFrame) != 0 || vars->frame == 0 ||
                   (key_interval > 0 && vars->key_count >= key_interval);
  if (sequence_->setup.pass == PassMode::kSecondPass && !sequence_->past_stats &&
      vars->frame >= sequence_->stats_frames) {
    if (!ContinueInOnePass()) return nullptr;
    force_key = true;  // the new encoder starts its stream afresh
  }

  const AVPacket* packet = nullptr;
  if (sequence_->encoder->Encode(static_cast<const uint8_t*>(bits), force_key, &packet) < 0) {
    return nullptr;
  }
  StatsWriter* stats = sequence_->stats_writer.get();
  if (stats != nullptr && !stats->Append(sequence_->encoder->last_stats())) return nullptr;
  *key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
  *size = packet->size;
  vars->key_count = *key ? 1 : vars->key_count + 1;
  ++vars->frame;
  return packet->size > 0 ? static_cast<const void*>(packet->data) : kNoBytes;
}

void Compressor::EndSequence() {
  if (!sequence_) return;
  if (sequence_->stats_writer) sequence_->stats_writer->Finish();
  sequence_.reset();
}

}  // namespace ovc::vfw
