#include "platform/media/unreferenced_pictures.h"

#include <cstddef>

namespace ovc::media {
namespace {

// What leaving a NAL unit out of the decoding does.
enum class NalKind {
  kUnreferencedSlice,  // a slice of a picture nothing refers to: nothing lost
  kAside,              // a delimiter, supplemental information or filler: nothing kept
  kKept,               // a reference slice, parameter sets, an end of stream, unknown
};

NalKind H264Kind(const uint8_t* nal, size_t size) {
  if (size < 1 || (nal[0] & 0x80) != 0) return NalKind::kKept;
  const int ref_idc = (nal[0] >> 5) & 3;
  switch (nal[0] & 0x1f) {
    case 1:  // a slice
    case 2:  // the partitions of one
    case 3:
    case 4:
      return ref_idc == 0 ? NalKind::kUnreferencedSlice : NalKind::kKept;
    case 6:   // supplemental enhancement information
    case 9:   // access unit delimiter
    case 12:  // filler
      return NalKind::kAside;
    default:
      return NalKind::kKept;
  }
}

NalKind HevcKind(const uint8_t* nal, size_t size) {
  if (size < 2 || (nal[0] & 0x80) != 0) return NalKind::kKept;
  const int type = (nal[0] >> 1) & 0x3f;
  // TRAIL_N, TSA_N, STSA_N, RADL_N, RASL_N and the reserved N kinds: the
  // even kinds below 16.
  if (type < 16 && type % 2 == 0) return NalKind::kUnreferencedSlice;
  // Access unit delimiter, filler, supplemental information before and after.
  if (type == 35 || type == 38 || type == 39 || type == 40) return NalKind::kAside;
  return NalKind::kKept;
}

// Bytes of the length before each NAL unit when the stream's extradata is
// an avcC or hvcC record; 0 when NAL units follow start codes; -1 when the
// record says a length no decoder takes.
int LengthBytes(AVCodecID codec, const uint8_t* extradata, int extradata_size) {
  if (extradata == nullptr) return 0;
  int bytes = 0;
  if (codec == AV_CODEC_ID_H264 && extradata_size >= 7 && extradata[0] == 1) {
    bytes = (extradata[4] & 3) + 1;
  } else if (codec == AV_CODEC_ID_HEVC && extradata_size >= 23 &&
             (extradata[0] != 0 || extradata[1] != 0 || extradata[2] > 1)) {
    bytes = (extradata[21] & 3) + 1;
  } else {
    return 0;
  }
  return bytes == 3 ? -1 : bytes;
}

class Verdict {
 public:
  explicit Verdict(AVCodecID codec) : codec_(codec) {}

  void Take(const uint8_t* nal, size_t size) {
    switch (codec_ == AV_CODEC_ID_H264 ? H264Kind(nal, size) : HevcKind(nal, size)) {
      case NalKind::kUnreferencedSlice:
        slices_ = true;
        break;
      case NalKind::kAside:
        break;
      case NalKind::kKept:
        kept_ = true;
        break;
    }
  }
  void Spoil() { kept_ = true; }
  bool LeaveOut() const { return slices_ && !kept_; }

 private:
  AVCodecID codec_;
  bool slices_ = false;
  bool kept_ = false;
};

void ReadLengthPrefixed(const uint8_t* data, size_t size, int length_bytes, Verdict* verdict) {
  size_t at = 0;
  while (at < size) {
    if (size - at < static_cast<size_t>(length_bytes)) return verdict->Spoil();
    size_t length = 0;
    for (int i = 0; i < length_bytes; ++i) length = (length << 8) | data[at + i];
    at += length_bytes;
    if (length == 0 || length > size - at) return verdict->Spoil();
    verdict->Take(data + at, length);
    at += length;
  }
}

// Start codes are 00 00 01; zeros before one belong to no NAL unit.
void ReadAnnexB(const uint8_t* data, size_t size, Verdict* verdict) {
  size_t at = 0;
  while (at < size && data[at] == 0) ++at;
  if (at < 2 || at >= size || data[at] != 1) return verdict->Spoil();
  size_t start = at + 1;
  for (size_t i = start; i + 2 < size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      size_t end = i;
      while (end > start && data[end - 1] == 0) --end;
      verdict->Take(data + start, end - start);
      start = i + 3;
      i = start - 1;
    }
  }
  verdict->Take(data + start, size - start);
}

}  // namespace

bool HoldsOnlyUnreferencedPictures(AVCodecID codec, const uint8_t* extradata,
                                   int extradata_size, const uint8_t* data, int size) {
  if ((codec != AV_CODEC_ID_H264 && codec != AV_CODEC_ID_HEVC) || data == nullptr || size <= 0)
    return false;
  const int length_bytes = LengthBytes(codec, extradata, extradata_size);
  if (length_bytes < 0) return false;
  Verdict verdict(codec);
  if (length_bytes > 0) {
    ReadLengthPrefixed(data, static_cast<size_t>(size), length_bytes, &verdict);
  } else {
    ReadAnnexB(data, static_cast<size_t>(size), &verdict);
  }
  return verdict.LeaveOut();
}

}  // namespace ovc::media
