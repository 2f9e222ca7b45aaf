#pragma once

#include <cstdint>

namespace ovc {

// The container side of a recording: the encoders and the writer of one
// output format, fed by the encoding threads (or inline by the producer).
// The video and the audio calls may come from two threads at once; an
// implementation serialises what the two share.
class OutputSink {
 public:
  virtual ~OutputSink() = default;

  // One audio period: `frames` sample frames of interleaved signed 16-bit PCM
  // at the input rate and channel count. `period` counts from 1 in the file.
  // Returns 0, or -1 when audio encoding must end for this file.
  virtual int EncodeAudioPeriod(const int16_t* pcm, int frames, int period) = 0;

  // One 4:2:0 frame of the output size in the layout of av::I420Frame,
  // with 64 readable bytes after it (EncodingEngine::kFramePadding).
  // `frame` counts from 1 in the file. Returns 0, or -1 when video
  // encoding must end for this file.
  virtual int EncodeVideoFrame(const uint8_t* i420, int frame) = 0;

  // Whether the file itself failed (a write did), so that neither stream
  // can go on; a failure of one encoder alone leaves the other writing.
  virtual bool FileFailed() const { return false; }
};

}  // namespace ovc
