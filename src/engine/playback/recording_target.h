#pragma once

#include <cstdint>

namespace ovc {

class RecordingSession;

// Where the capture stage hands its output frames: the recording session
// while a conversion runs.
class RecordingTarget {
 public:
  virtual ~RecordingTarget() = default;

  // Whether a conversion runs (capture_active).
  virtual bool recording() const = 0;

  // The producer entry: one 4:2:0 frame of the output size in the layout
  // of av::I420Frame (or none)
  // and the n sample frames of 16-bit PCM that belong before it. Copies what
  // it keeps before returning; may block while the encoders catch up.
  virtual void Produce(const uint8_t* frame, const int16_t* audio, int n) = 0;

  // Switches to the next numbered output file. 0, or -1 when no further part
  // could be opened.
  virtual int NextOutputPart() = 0;

  // The size of the file being written, in megabytes (bytes × 2^-20).
  virtual double OutputSizeMb() const = 0;
};

// The recording session as the capture stage's target.
class SessionRecordingTarget : public RecordingTarget {
 public:
  explicit SessionRecordingTarget(RecordingSession* session) : session_(session) {}

  bool recording() const override;
  void Produce(const uint8_t* frame, const int16_t* audio, int n) override;
  int NextOutputPart() override;
  double OutputSizeMb() const override;

 private:
  RecordingSession* session_;
};

}  // namespace ovc
