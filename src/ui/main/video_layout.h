#pragma once

#include "engine/playback/crop_rect.h"

namespace ovc {

// Where the live video sits in the video panel. The panel's inner area
// (VideoRect) is `rect_width` by `rect_height` pixels; the video is scaled
// into it at the shown aspect, which is the source aspect divided by the
// display aspect factor, with black bars where the shapes differ.

// The display aspect factor with auto_stretch set, for an output `output_width`
// pixels wide and a `source_width` x `source_height` source cropped to `crop`.
// It approximates 0.75 x (cropped source aspect), so that the live video is
// shown close to 4:3: rounded to two decimals when the output height that
// aspect calls for (rounded up to 16) fits the 4:3 height, else through its
// reciprocal rounded to two decimals (a 720 x 576 source for 320 pixels gives
// 100 / 107). Without auto_stretch, and for sizes or crops that give no
// aspect, the factor is 1.0.
double DisplayAspectFactor(bool auto_stretch, int output_width, int source_width,
                           int source_height, const CropRect& crop);

// The live-video height for a source of aspect `source_aspect` (width /
// height) shown with `factor`: whole(rect_width / (source_aspect / factor)).
// `rect_height` when the aspect or the factor is not positive.
int LiveVideoHeight(int rect_width, int rect_height, double source_aspect, double factor);

struct VideoPlacement {
  int left = 0;  // pixels from the panel's left
  int top = 0;   // pixels from the panel's top
  int width = 0;
  int height = 0;
};

// The live video's place: the largest picture of the shown aspect that fits
// the panel, centred. Full width with the height above where that fits,
// else full height and the width that keeps the aspect.
VideoPlacement PlaceLiveVideo(int rect_width, int rect_height, int source_width,
                              int source_height, double factor, const CropRect& crop);

}  // namespace ovc
