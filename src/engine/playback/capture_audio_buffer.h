#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace ovc {

class RecordingTarget;

// The capture audio buffer: signed 16-bit interleaved PCM on the source's
// time line. Byte 0 is the audio at the buffer start time; `fill` bytes are
// valid. Blocks are placed by their time stamps; for every output frame the
// audio of the frame's time span is cut from the front and handed over with
// the frame. Audio missing before a frame is lent against later audio (the
// borrow, in bytes) or paid with silence; the fraction of a sample frame per
// output frame is carried in an accumulator so that, over time, every frame
// carries exactly rate ÷ frame rate sample frames.
//
// Positions are computed from time stamps; every read and write is clipped
// to the buffer, whatever the time stamps are. Not thread safe: the capture
// stage calls it under its capture lock.
class CaptureAudioBuffer {
 public:
  static constexpr int64_t kCapacity = 3456000;     // bytes: 18 s of 48 kHz stereo
  static constexpr int64_t kTooFull = 2764800;      // 80 % of the capacity
  static constexpr int64_t kSilenceBytes = 192000;  // one silence chunk
  static constexpr int64_t kBorrowLimit = 1536000;  // borrow paid with silence from here
  static constexpr int64_t kSplitBytes = 768000;    // largest slice in one call

  CaptureAudioBuffer();

  // Sets the delivered format (rate in Hz, 1 to 6 channels). A change of
  // either empties the buffer: what it holds would be read in the wrong
  // layout.
  void SetFormat(int rate, int channels);

  // Empties the buffer and sets the start time, the borrow and
  // the accumulator to 0 (a new source).
  void Clear();

  // Stores one block of `bytes` bytes stamped t1..t2 seconds. Returns the
  // block's end position in bytes (the buffer's span up to the block's end),
  // or none when the block restarted the buffer because the time line went
  // back.
  std::optional<int64_t> Store(const int16_t* pcm, int64_t bytes, double t1, double t2);

  // Start of a recording at `start` seconds: the borrow and the accumulator
  // become 0 and the audio before `start` is dropped.
  void AlignStart(double start);

  // Makes the buffer hold audio up to `until` seconds (and one sample frame
  // more, for the accumulator) by adding silence
  // after what it holds (up to the capacity); for a sound that has ended, or
  // a source without sound, whose output frames from `from` seconds on are
  // about to be handed over. A buffer that holds nothing from `from` on and
  // owes nothing starts again at `from`.
  void PadWithSilence(double from, double until);

  // Hands over the audio of the output frame that begins at `frame_time`
  // seconds and lasts `period` seconds, with `frame` (the picture, or none),
  // in one or more producer calls; the last call carries the frame's own
  // audio, earlier ones (silence or a split) repeat the picture. Then drops
  // what was handed over.
  void EmitFrame(double frame_time, double period, const uint8_t* frame, RecordingTarget* target,
                 int trace_level);

  int rate() const { return rate_; }
  int channels() const { return channels_; }
  int block_bytes() const { return block_; }
  int64_t fill() const { return fill_; }
  double start_time() const { return start_time_; }
  int64_t borrow() const { return borrow_; }
  double accumulator() const { return accumulator_; }
  // The buffered audio; bytes from the fill on are undefined.
  const uint8_t* bytes() const { return bytes_.get(); }

 private:
  // Buffer start time, fill and content become the block alone.
  void Restart(const uint8_t* block, int64_t bytes, double t1);
  // Drops the first `bytes` bytes.
  void DropFront(int64_t bytes);
  // Whole sample frames of a byte position, rounded like the original:
  // trunc(seconds × rate + 0.5) × block.
  int64_t Position(double seconds) const;
  // One producer call with the bytes [from, to) of the buffer; bytes before
  // 0 or at or beyond the fill read as silence.
  void PushRange(const uint8_t* frame, int64_t from, int64_t to, RecordingTarget* target);
  // One extra call of `bytes` bytes starting at `from` that repeats the
  // picture; returns where the next call starts. The repeated picture takes
  // one frame period of the chunk; when a chunk is not longer than a frame
  // period the chunk goes without a picture, so each call makes progress.
  int64_t PushChunk(const uint8_t* frame, int64_t from, int64_t bytes, int64_t period_bytes,
                    RecordingTarget* target);

  int rate_ = 44100;
  int channels_ = 2;
  int block_ = 4;  // bytes per sample frame: 2 × channels
  std::unique_ptr<uint8_t[]> bytes_;
  std::unique_ptr<uint8_t[]> scratch_;  // a push that reads beyond the fill
  int64_t fill_ = 0;
  double start_time_ = 0;
  int64_t borrow_ = 0;
  double accumulator_ = 0;
};

}  // namespace ovc
