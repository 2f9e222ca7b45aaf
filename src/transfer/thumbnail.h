#pragma once

#include <cstdint>
#include <string>

#include "platform/imaging/bitmap24.h"

namespace ovc {

// The PSP lists a video with the picture of the JPEG file of the same name
// and the extension "THM" beside it: 160 × 120 pixels, baseline JPEG.
inline constexpr int kThumbnailWidth = 160;
inline constexpr int kThumbnailHeight = 120;

// The thumbnail of an output file: the path with the extension of its file
// name (from the last '.' after the last '/') replaced by "THM", or ".THM"
// added when the name has none. The extension follows the letter case of
// the output's own: "thm" when it is all lower case ("clip.mp4" →
// "clip.thm"), otherwise "THM" ("M4V00001.MP4" → "M4V00001.THM", the way the
// PSP names its files); a name without an extension takes "thm" only when it
// has lower-case letters and no upper-case ones. "" for an empty path or one
// that ends in '/'.
std::string ThumbnailPath(const std::string& output_path);

// A packed 24-bit picture to make a thumbnail of: each pixel blue, green,
// red; line y starts at bgr + y × stride. A bottom-up picture is given by
// pointing bgr at its last line with a negative stride.
struct BgrPicture {
  const uint8_t* bgr = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one line to the next; at least 3 × width in size
};

// Writes the picture as the 160 × 120 baseline JPEG (JFIF, full-range
// 4:2:0) at `path`, replacing the file there. The whole picture is scaled to
// fit inside 160 × 120 keeping its shape, and the rest is black: a
// wide-screen video gets bars above and below, as on the PSP's own
// thumbnails, instead of losing its sides. `display_aspect` is the width
// over the height the picture is shown at (a 720 × 576 picture of a 16:9
// video: 16.0 / 9); 0 takes the picture's pixels as square.
//
// The file is written under a temporary name beside `path` and renamed, so
// a failure leaves no partial thumbnail (and keeps the one that was there).
// Returns 0, or -1 after tracing "Fail to write thumbnail %s" with the path
// and the reason (an empty or unusable picture, the encoder, the file).
int WriteThumbnail(const BgrPicture& picture, const std::string& path, double display_aspect = 0);

// The same for the capture's paused still picture (a top-down Bitmap24).
int WriteThumbnail(const Bitmap24& picture, const std::string& path, double display_aspect = 0);

// The rectangle, inside 160 × 120, that a picture of this shape fills:
// even position and size (4:2:0 chroma stays aligned), centred, at least
// 2 × 2. width/height are the picture's pixels, display_aspect as above.
struct ThumbnailPlacement {
  int x = 0;
  int y = 0;
  int width = kThumbnailWidth;
  int height = kThumbnailHeight;
};
ThumbnailPlacement PlaceThumbnail(int width, int height, double display_aspect);

}  // namespace ovc
