#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace ovc {

// The sound the preview has handed over but the sound device has not taken
// yet: a bounded byte queue. The streaming thread writes, the sound
// device's thread reads. When a write would overflow it, the oldest bytes
// go (whole sample frames), so the preview never lags by more than the
// capacity. Thread-safe.
class AudioRing {
 public:
  // `capacity` bytes at most; `frame_bytes` the size of one sample frame.
  void Reset(size_t capacity, size_t frame_bytes);
  void Write(const uint8_t* data, size_t bytes);
  // Up to `bytes` bytes into `out`; returns how many.
  size_t Read(uint8_t* out, size_t bytes);
  void Clear();
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  // Guarded by mutex_.
  std::vector<uint8_t> buffer_;
  size_t head_ = 0;  // next byte to read
  size_t fill_ = 0;
  size_t frame_bytes_ = 1;
};

// Scales PCM samples by `gain` (0 silent … 1 unchanged) in place: signed
// 16-bit for `bits` 16, unsigned 8-bit (silence 128) for `bits` 8.
void ScalePcm(uint8_t* data, size_t bytes, int bits, double gain);

}  // namespace ovc
