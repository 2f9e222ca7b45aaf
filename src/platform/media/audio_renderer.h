#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/media/audio_sink.h"
#include "platform/media/renderer_filter.h"

namespace ovc::media {

// "Audio Renderer": takes interleaved PCM (8 or 16 bits). In preview each
// block is handed to the host's sink when it is due on the reference clock;
// while free-running the blocks are consumed without being played.
class AudioRenderer final : public RendererFilter {
 public:
  static constexpr int32_t kSilentVolume = -10000;

  explicit AudioRenderer(std::shared_ptr<AudioSink> sink);

  // Volume in hundredths of a decibel: 0 is full, kSilentVolume silent.
  // kErrorInvalidArg outside that range.
  MediaResult SetVolume(int32_t volume);
  int32_t volume() const { return volume_; }
  // The linear gain of a volume: 10^(volume / 2000), 0 at kSilentVolume.
  static double GainOf(int32_t volume);

 protected:
  bool AcceptInput(const Pin& input, const Pin& upstream, const MediaType& type) const override;
  MediaResult OnConnected(Pin& pin) override;
  void PrepareStreaming() override;
  void StopStreaming() override;
  void Receive(Pin& input, Sample& sample) override;
  void EndOfStream(Pin& input) override;

 private:
  const std::shared_ptr<AudioSink> sink_;
  std::atomic<int32_t> volume_{0};

  // Written by the streaming thread (and by the control thread while none
  // runs).
  ReferenceTime last_stop_ = 0;
  bool sink_open_ = false;
  bool sink_failed_ = false;
};

}  // namespace ovc::media
