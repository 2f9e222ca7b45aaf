#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/media/media_types.h"
#include "platform/media/yuv_packing.h"

namespace ovc::media {

// The media sample that travels down a stream: its bytes, its start and stop
// times (100-ns units, relative to the segment start) and, when the stream's
// type changed with it, the new type. A decoder reuses one sample for every
// block it delivers, so a receiver that wants to keep the bytes copies them.
//
// A picture may be delivered as 4:2:0 planes only (DeferPacking): its
// packed YUY2 bytes are then made the first time anyone asks for data(), so
// a receiver that works from the planes costs nothing for the packing.
// Samples travel down one streaming thread; the deferred packing is not
// safe for two threads at once.
class Sample final : public MediaSample {
 public:
  // What a scaler's vector code may read or write past the last line: as
  // much as FFmpeg keeps after its own buffers.
  static constexpr int32_t kPadding = 64;

  const uint8_t* data() const override {
    if (pack_pending_) PackNow();
    return bytes_.data();
  }
  int32_t length() const override { return length_; }
  bool GetMediaType(MediaType* type) const override {
    if (!type_) return false;
    *type = *type_;
    return true;
  }

  uint8_t* mutable_data() {
    pack_pending_ = false;
    return bytes_.data();
  }
  // Makes room for `length` bytes (the contents become unspecified) and sets
  // the length. The storage only grows, and always holds kPadding more.
  void Resize(int32_t length) {
    pack_pending_ = false;
    const size_t needed = static_cast<size_t>(length) + kPadding;
    if (needed > bytes_.size()) bytes_.resize(needed);
    length_ = length;
  }
  int32_t padding() const override {
    // Packing makes room for the padding too.
    if (pack_pending_) return kPadding;
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
  // The picture of one delivery as 4:2:0 planes (valid until
  // ClearPlanarSource), `width` even: the sample's bytes become the packed
  // YUY2 picture of them, width × height × 2, made when data() is first
  // asked for. Their storage too: a receiver that works from the planes
  // never has the packed picture in memory.
  void DeferPacking(const PlanarPicture& planes) {
    length_ = planes.width * 2 * planes.height;
    planar_ = planes;
    pack_pending_ = true;
  }
  void ClearPlanarSource() {
    planar_.reset();
    pack_pending_ = false;
  }

 private:
  // Filled late by PackNow, behind data().
  mutable std::vector<uint8_t> bytes_;
  int32_t length_ = 0;
  ReferenceTime start_ = 0;
  ReferenceTime stop_ = 0;
  std::optional<MediaType> type_;
  std::optional<PlanarPicture> planar_;
  mutable bool pack_pending_ = false;

  void PackNow() const {
    const size_t needed = static_cast<size_t>(length_) + kPadding;
    if (needed > bytes_.size()) bytes_.resize(needed);
    const PlanarPicture& p = *planar_;
    PackI420ToYuy2(p.planes[0], p.strides[0], p.planes[1], p.strides[1], p.planes[2],
                   p.strides[2], bytes_.data(), 2 * p.width, p.width, p.height);
    pack_pending_ = false;
  }
};

}  // namespace ovc::media
