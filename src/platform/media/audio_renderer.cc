#include "platform/media/audio_renderer.h"

#include <cmath>

#include "platform/media/sample.h"

namespace ovc::media {

AudioRenderer::AudioRenderer(std::shared_ptr<AudioSink> sink)
    : sink_(sink ? std::move(sink) : std::make_shared<NullAudioSink>()) {
  sink_->SetVolume(GainOf(0));
}

double AudioRenderer::GainOf(int32_t volume) {
  if (volume <= kSilentVolume) return 0.0;
  return std::pow(10.0, volume / 2000.0);
}

MediaResult AudioRenderer::SetVolume(int32_t volume) {
  if (volume > 0 || volume < kSilentVolume) return kErrorInvalidArg;
  volume_ = volume;
  sink_->SetVolume(GainOf(volume));
  return kOk;
}

bool AudioRenderer::AcceptInput(const Pin& input, const Pin&, const MediaType& type) const {
  return &input == in() && type.major == MajorType::kAudio && type.subtype == kSubtypePcm &&
         type.format_type == FormatType::kWaveFormatEx && type.wave.channels > 0 &&
         type.wave.samples_per_sec > 0 &&
         (type.wave.bits_per_sample == 8 || type.wave.bits_per_sample == 16);
}

MediaResult AudioRenderer::OnConnected(Pin&) {
  sink_open_ = false;
  sink_failed_ = false;
  return kOk;
}

void AudioRenderer::PrepareStreaming() { last_stop_ = 0; }

void AudioRenderer::StopStreaming() { sink_->Flush(); }

void AudioRenderer::Receive(Pin& input, Sample& sample) {
  if (stream() < 0) return;
  MediaType changed;
  if (sample.GetMediaType(&changed)) {
    input.set_media_type(changed);
    sink_open_ = false;
    sink_failed_ = false;
  }
  const Release release = scheduler()->WaitForSample(stream(), sample.start(), nullptr);
  last_stop_ = sample.stop();
  if (release != Release::kPresent) return;
  if (!sink_open_ && !sink_failed_) {
    sink_open_ = sink_->Open(input.media_type().wave);
    sink_failed_ = !sink_open_;
  }
  if (sink_open_) sink_->Play(sample.data(), sample.length());
}

void AudioRenderer::EndOfStream(Pin&) {
  if (stream() >= 0) scheduler()->EndOfStream(stream(), last_stop_);
}

}  // namespace ovc::media
