#pragma once

namespace ovc {

// Where the picture lies in an output frame, in frame pixels; the rest of
// the frame is black.
struct PictureArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool operator==(const PictureArea& other) const {
    return x == other.x && y == other.y && width == other.width && height == other.height;
  }
};

// A frame whose display aspect is within this fraction of the picture's is
// filled whole: the picture is stretched by that little rather than framed
// by bars of a line or two.
inline constexpr double kAspectTolerance = 0.02;

// The area a picture of display aspect `picture_aspect` (width ÷ height on
// the screen) takes in a frame of frame_width × frame_height pixels, each
// pixel frame_pixel_aspect wide for 1 high, when it keeps its shape: the
// whole frame when the frame's display aspect differs from the picture's by
// no more than kAspectTolerance; otherwise the largest centred area of the
// picture's aspect, with bars above and below (letterbox) or at the sides
// (pillarbox). Positions and sizes are even, so that the area starts and
// ends on a pixel pair of packed YUY2 and on a chroma line of 4:2:0. An
// aspect that is not positive gives the whole frame.
PictureArea FitPicture(double picture_aspect, int frame_width, int frame_height,
                       double frame_pixel_aspect);

}  // namespace ovc
