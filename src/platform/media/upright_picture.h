#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/media/media_types.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace ovc::media {

// How far (degrees clockwise: 0, 90, 180 or 270) a stream's pictures must
// be turned to stand upright: from the display matrix phones write, else
// from the stream's "rotate" tag. Mirrored matrices count by their
// rotation alone.
int StreamRotation(const AVStream& stream);

// A 4:2:0 picture in buffers of its own: Y of width × height, U and V of
// width/2 × height/2, each line as long as the plane is wide. Width and
// height are even. Each plane owns kSlack bytes past its last line, which
// libswscale's vector code may read and write.
class I420Buffer {
 public:
  static constexpr size_t kSlack = 64;

  // Sizes the planes; the content is undefined until written. An odd size
  // is cut down to even.
  void Resize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  uint8_t* plane(int i) { return planes_[i].data(); }
  int stride(int i) const { return i == 0 ? width_ : width_ / 2; }
  // The planes for a reader; valid until the next Resize.
  PlanarPicture View() const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> planes_[3];
};

// Copies `source` turned clockwise by `degrees` (90, 180 or 270; anything
// else copies it as it is) into `out`, which takes the turned size; a
// `full_range` source is narrowed to the video range on the way, as
// ToVideoRangeI420 narrows it.
void RotateI420(const PlanarPicture& source, int degrees, I420Buffer* out,
                bool full_range = false);

// Writes `source` at half its width and height into `out`, each sample the
// rounded mean of the 2×2 it stands for: for a picture shown at a third of
// its size or less, so that what follows (a turn, the scaling) handles a
// quarter of the samples. False, `out` untouched, unless the width and the
// height are multiples of 4 (the halves even, the shape kept exactly).
bool HalveI420(const PlanarPicture& source, I420Buffer* out);

// Removes the combing of an interlaced picture where its two fields show
// different moments: every line becomes (the line above + 2 × itself + the
// line below) ÷ 4, on every plane (the edge lines count their one
// neighbour twice). Each output line so holds both fields, weighted evenly.
void BlendFields(I420Buffer* picture);

// Writes a decoded picture of the layouts cameras and phones store most
// into `out` as 8-bit 4:2:0 of the video range, without libswscale: 4:2:0
// or 4:2:2, 8 bits (JPEG's "j" formats included) or 10, even width and
// height. 4:2:2 chroma lines are averaged pair by pair (a 4:2:0 sample lies
// between the two lines it stands for); full-range 8-bit samples (the "j"
// formats, or a frame that says so) are narrowed to luma 16-235 and chroma
// 16-240 as libswscale narrows them; 10-bit ones are taken to 8 with an
// ordered dither. False, `out` untouched, for anything else (full-range
// 10-bit pictures among them).
bool ToVideoRangeI420(const AVFrame& frame, I420Buffer* out);

}  // namespace ovc::media
