#pragma once

#include <cstdint>

#include "platform/media/media_types.h"

namespace ovc::media {

// Where the audio renderer plays sound in preview: the host's sound output.
// Called on the audio streaming thread (Open, Play) and on the graph's
// control thread (SetVolume, Flush); implementations lock for themselves.
class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // Prepares for interleaved PCM of this format; called before the first
  // Play and whenever the format changes. False when it cannot be played
  // (the renderer then consumes the sound silently).
  virtual bool Open(const WaveFormat& format) = 0;
  // One block of PCM, due now. The bytes are valid only during the call.
  virtual void Play(const uint8_t* data, int32_t bytes) = 0;
  // Linear gain, 0 (silent) to 1 (full).
  virtual void SetVolume(double gain) = 0;
  // Drops whatever is queued but not yet heard (stop, seek).
  virtual void Flush() = 0;
};

// Plays nothing: for headless use.
class NullAudioSink final : public AudioSink {
 public:
  bool Open(const WaveFormat&) override { return true; }
  void Play(const uint8_t*, int32_t) override {}
  void SetVolume(double) override {}
  void Flush() override {}
};

}  // namespace ovc::media
