#pragma once

#include "common/mutex.h"
#include "engine/record/output_config.h"

namespace ovc {

// The sound of the source as the capture found it: signed 16-bit
// interleaved samples at `rate` Hz in `channels` channels.
struct SourceAudioFormat {
  int rate = 44100;
  int channels = 2;  // 1..6

  // Hands the format to a recording's output: the writers convert from it.
  void ApplyTo(OutputConfig* output) const {
    output->input_sample_rate = rate;
    output->input_channels = channels;
  }
};

// What the streaming threads measured about the source's sound, for the
// user interface thread to read when a recording starts. Set by the audio
// callback and by the graph builder; never waits for anything but its own
// short lock.
class MeasuredSourceAudio {
 public:
  void Set(const SourceAudioFormat& format) {
    MutexLock lock(&mutex_);
    format_ = format;
  }
  SourceAudioFormat Get() const {
    MutexLock lock(&mutex_);
    return format_;
  }

 private:
  mutable Mutex mutex_;
  SourceAudioFormat format_ OVC_GUARDED_BY(mutex_);
};

}  // namespace ovc
