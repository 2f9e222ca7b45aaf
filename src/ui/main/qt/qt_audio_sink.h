#pragma once

#include <QAudioDevice>
#include <QObject>

#include <atomic>
#include <memory>

#include "platform/media/audio_sink.h"
#include "ui/main/qt/audio_ring.h"

class QAudioSink;

namespace ovc {

// The preview's sound on the desktop's default sound output (QAudioSink,
// pull mode). Play, from the audio streaming thread, queues the block (at
// most kQueueSeconds of it; older sound gives way); the sound device pulls
// from that queue on the GUI thread and hears silence when it runs dry.
// Without a sound output (offscreen tests, servers) or for a format the
// output can't take, Open returns false and the renderer consumes the sound
// silently. Create and destroy on the GUI thread.
class QtAudioSink final : public media::AudioSink {
 public:
  static constexpr double kQueueSeconds = 0.5;

  // `device`: the output to play on; the default output when omitted.
  QtAudioSink();
  explicit QtAudioSink(const QAudioDevice& device);
  ~QtAudioSink() override;
  QtAudioSink(const QtAudioSink&) = delete;
  QtAudioSink& operator=(const QtAudioSink&) = delete;

  bool Open(const media::WaveFormat& format) override;
  void Play(const uint8_t* data, int32_t bytes) override;
  void SetVolume(double gain) override;
  void Flush() override;

  bool has_device() const { return !device_.isNull(); }
  // Bytes queued and not yet taken by the device.
  size_t queued() const { return shared_->ring.size(); }
  // Whether the last Open was accepted.
  bool open() const { return open_.load(); }

 private:
  struct Shared {
    AudioRing ring;
    std::atomic<int> silence_byte{0};
  };
  class Output;

  QAudioDevice device_;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::atomic<double> gain_{1.0};
  std::atomic<int> bits_{16};
  std::atomic<bool> open_{false};
  // Lives on the GUI thread; owns the QAudioSink.
  Output* output_;
};

}  // namespace ovc
