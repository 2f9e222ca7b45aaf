#include "ui/main/qt/audio_ring.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ovc {

void AudioRing::Reset(size_t capacity, size_t frame_bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  frame_bytes_ = std::max<size_t>(frame_bytes, 1);
  capacity = std::max(capacity / frame_bytes_ * frame_bytes_, frame_bytes_);
  buffer_.assign(capacity, 0);
  head_ = 0;
  fill_ = 0;
}

void AudioRing::Write(const uint8_t* data, size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t capacity = buffer_.size();
  if (capacity == 0 || bytes == 0) return;
  if (bytes > capacity) {
    // Only the newest part fits, starting on a frame boundary.
    const size_t skip = (bytes - capacity + frame_bytes_ - 1) / frame_bytes_ * frame_bytes_;
    data += skip;
    bytes -= skip;
  }
  if (fill_ + bytes > capacity) {
    size_t drop = fill_ + bytes - capacity;
    drop = std::min((drop + frame_bytes_ - 1) / frame_bytes_ * frame_bytes_, fill_);
    head_ = (head_ + drop) % capacity;
    fill_ -= drop;
  }
  size_t tail = (head_ + fill_) % capacity;
  const size_t first = std::min(bytes, capacity - tail);
  std::memcpy(buffer_.data() + tail, data, first);
  std::memcpy(buffer_.data(), data + first, bytes - first);
  fill_ += bytes;
}

size_t AudioRing::Read(uint8_t* out, size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t capacity = buffer_.size();
  bytes = std::min(bytes, fill_);
  if (bytes == 0) return 0;
  const size_t first = std::min(bytes, capacity - head_);
  std::memcpy(out, buffer_.data() + head_, first);
  std::memcpy(out + first, buffer_.data(), bytes - first);
  head_ = (head_ + bytes) % capacity;
  fill_ -= bytes;
  return bytes;
}

void AudioRing::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  head_ = 0;
  fill_ = 0;
}

size_t AudioRing::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fill_;
}

void ScalePcm(uint8_t* data, size_t bytes, int bits, double gain) {
  if (!(gain >= 0)) gain = 0;  // not a number counts as silence
  if (gain >= 1) return;
  if (bits == 8) {
    for (size_t i = 0; i < bytes; ++i)
      data[i] = static_cast<uint8_t>(std::lround((data[i] - 128) * gain) + 128);
    return;
  }
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    int16_t sample;
    std::memcpy(&sample, data + i, 2);
    sample = static_cast<int16_t>(std::lround(sample * gain));
    std::memcpy(data + i, &sample, 2);
  }
}

}  // namespace ovc
