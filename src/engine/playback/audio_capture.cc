// The audio half of the capture stage: OnAudioSample and its format.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/trace.h"
#include "engine/playback/capture_stage.h"

namespace ovc {
namespace {

constexpr double kSecondsPerUnit = 1e-7;  // one 100-ns unit

// Without a format block the audio is taken as CD audio.
constexpr int kDefaultRate = 44100;
constexpr int kDefaultChannels = 2;
constexpr int kDefaultBits = 16;
constexpr int kMaxChannels = 6;
constexpr int kMaxRate = 768000;

}  // namespace

// The factor of a volume level: 5 leaves the samples unchanged, each level
// above multiplies by 1.65, each level below 5 takes a fifth away.
double VolumeFactor(int level) {
  if (level > 5) return std::pow(1.65, level - 5);
  return std::max(level, 0) * 0.2;
}

int CaptureStage::AdoptAudioType(const media::MediaSample* sample) {
  if (sample == nullptr) {
    if (!capture_lock_.TryLock()) {
      adopt_connected_audio_requested_.store(true);
      return 0;
    }
    MutexLock lock(&capture_lock_, std::adopt_lock);
    ApplyRequestsLocked();
    return AdoptAudioTypeLocked(nullptr);
  }
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  return AdoptAudioTypeLocked(sample);
}

int CaptureStage::AdoptAudioTypeLocked(const media::MediaSample* sample) {
  media::MediaType type;
  if (sample != nullptr) {
    if (!sample->GetMediaType(&type)) return 0;
    if (trace_level_ != 0) WriteTraceLine("Audio Input Type Changed ........");
  } else if (ConnectedTypeQuery query = AudioTypeQuery(); !query || !query(&type)) {
    return 0;
  }
  AdoptAudioFormatLocked(type);
  return 1;
}

void CaptureStage::AdoptAudioFormatLocked(const media::MediaType& type) {
  int rate = kDefaultRate;
  int channels = kDefaultChannels;
  int bits = kDefaultBits;
  if (type.format_type == media::FormatType::kWaveFormatEx) {
    rate = static_cast<int>(std::min<uint32_t>(type.wave.samples_per_sec, INT32_MAX));
    channels = type.wave.channels;
    bits = type.wave.bits_per_sample;
  }
  TracePrintf("Audio Input sample freq = %d,  %d channels\n", rate, channels);
  if (rate <= 0 || rate > kMaxRate || channels < 1 || channels > kMaxChannels ||
      (bits != 8 && bits != 16)) {
    // Blocks in a layout the buffer cannot hold are left out, not misread.
    TracePrintf("Audio input not supported: %d Hz, %d channels, %d bits", rate, channels, bits);
    state_.audio_supported = false;
    return;
  }
  state_.audio_supported = true;
  state_.input_bits = bits;
  state_.audio.SetFormat(rate, channels);
  source_audio_.Set(SourceAudioFormat{rate, channels});
}

int32_t CaptureStage::OnAudioSample(const media::MediaSample& sample,
                                    const media::ReferenceTime* start_time,
                                    const media::ReferenceTime* stop_time, int32_t reserved,
                                    int32_t type_changed) {
  (void)reserved;
  MutexLock lock(&capture_lock_);
  ApplyRequestsLocked();
  const uint8_t* data = sample.data();
  int64_t actual_length = std::max<int32_t>(sample.length(), 0);
  if (type_changed) AdoptAudioTypeLocked(nullptr);
  AdoptAudioTypeLocked(&sample);
  const media::ReferenceTime start = start_time ? *start_time : 0;
  const media::ReferenceTime stop = stop_time ? *stop_time : 0;
  const double t1 = start * kSecondsPerUnit;
  const double t2 = stop * kSecondsPerUnit;
  if (data == nullptr || !state_.audio_supported) return 0;

  // Whole sample frames only.
  const int channels = state_.audio.channels();
  const int bits = state_.input_bits;
  actual_length -= actual_length % (channels * bits / 8);
  const int64_t samples = bits == 8 ? actual_length : actual_length / 2;
  const int64_t length = samples * 2;  // bytes of 16-bit audio

  // 8-bit samples (128 = silence) become 16-bit ones; 16-bit samples are
  // copied only when the volume changes them. An empty block is left as it
  // is: the conversion buffer may not exist yet.
  const double factor = VolumeFactor(output_.audio_volume);
  const int16_t* block = reinterpret_cast<const int16_t*>(data);
  if (samples > 0 && (bits == 8 || factor != 1.0)) {
    if (state_.conversion.size() < static_cast<size_t>(samples)) state_.conversion.resize(samples);
    int16_t* converted = state_.conversion.data();
    if (bits == 8) {
      for (int64_t i = 0; i < samples; ++i) converted[i] = static_cast<int16_t>((data[i] - 128) * 128);
    } else {
      std::memcpy(converted, data, length);
    }
    block = converted;
  }

  if (trace_level_ >= 20) {
    TracePrintf("A %8.8f - %-8.8f  act_len=%d size=%d %s", t1, t2, sample.length(),
                static_cast<int>(length), type_changed ? "CHANGE" : "");
    TracePrintf("[AUDIO]: t1=%.6f t2=%.6f  len=%d  audio_buffer_start_time=%.8f  audio_buffer_i=%d",
                t1, t2, static_cast<int>(length), state_.audio.start_time(),
                static_cast<int>(state_.audio.fill()));
  }

  if (factor != 1.0) {
    int16_t* scaled = state_.conversion.data();
    for (int64_t i = 0; i < samples; ++i) {
      double value = std::nearbyint(scaled[i] * factor);
      scaled[i] = static_cast<int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
  }

  std::optional<int64_t> end_position = state_.audio.Store(block, length, t1, t2);
  ++audio_blocks_;
  audio_reached_ = t2;
  if (t2 >= audio_stalled_at_) audio_follows_ = true;
  stream_moved_.SignalAll();
  // After the last picture the sound makes the output frames.
  if (pictures_ended_) {
    HoldLastPictureLocked();
    return 0;
  }

  // Audio far ahead of the video: give the video time to catch up.
  if (end_position && *end_position >= CaptureAudioBuffer::kTooFull && target_->recording() &&
      times_.last_video_time.load() - times_.recording_start_time.load() > 1.0 &&
      !times_.first_picture_pending.load()) {
    WriteTraceLine("audio too much. wait for video");
    times_.actual_frame_time.store(times_.actual_frame_time.load() * 0.996);
    WaitForOtherStreamLocked(video_pictures_, waits_.for_video);
  }
  return 0;
}

}  // namespace ovc
