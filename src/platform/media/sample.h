#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/media/media_types.h"

namespace ovc::media {

// The media sample that travels down a stream: its bytes, its start and stop
// times (100-ns units, relative to the segment start) and, when the stream's
// type changed with it, the new type. A decoder reuses one sample for every
// block it delivers, so a receiver that wants to keep the bytes copies them.
class Sample final : public MediaSample {
 public:
  // What a scaler's vector code may read or write past the last line: as
  // much as FFmpeg keeps after its own buffers.
  static constexpr int32_t kPadding = 64;

  const uint8_t* data() const override { return bytes_.data(); }
  int32_t length() const override { return length_; }
  bool GetMediaType(MediaType* type) const override {
    if (!type_) return false;
    *type = *type_;
    return true;
  }

  uint8_t* mutable_data() { return bytes_.data(); }
  // Makes room for `length` bytes (the contents become unspecified) and sets
  // the length. The storage only grows, and always holds kPadding more.
  void Resize(int32_t length) {
    const size_t needed = static_cast<size_t>(length) + kPadding;
    if (needed > bytes_.size()) bytes_.resize(needed);
    length_ = length;
  }
  int32_t padding() const override {
    return static_cast<int32_t>(bytes_.size()) - length_;
  }

  ReferenceTime start() const { return start_; }
  ReferenceTime stop() const { return stop_; }
  void SetTimes(ReferenceTime start, ReferenceTime stop) {
    start_ = start;
    stop_ = stop;
  }

  void SetMediaType(const MediaType& type) { type_ = type; }
  void ClearMediaType() { type_.reset(); }

  const PlanarPicture* planar_source() const override {
    return planar_ ? &*planar_ : nullptr;
  }
  // The planes the bytes were packed from, for one delivery.
  void SetPlanarSource(const PlanarPicture& planes) { planar_ = planes; }
  void ClearPlanarSource() { planar_.reset(); }

 private:
  std::vector<uint8_t> bytes_;
  int32_t length_ = 0;
  ReferenceTime start_ = 0;
  ReferenceTime stop_ = 0;
  std::optional<MediaType> type_;
  std::optional<PlanarPicture> planar_;
};

}  // namespace ovc::media
