#pragma once

#include <cstdint>

#include "engine/record/output_config.h"

namespace ovc {

// The shape of one pixel on the screen: its width ÷ its height as a
// fraction; 1:1 is square.
struct PixelAspect {
  int num = 1;
  int den = 1;
  double value() const { return num > 0 && den > 0 ? static_cast<double>(num) / den : 1.0; }
};

// The pixel aspect an output file declares for its frames:
// - the frame sizes H.263 codes (176x144, 352x288 … the 11:9 ones) in a
//   3GP file are made for a 4:3 phone screen: 12:11;
// - a Windows Media file declares the pixels that show its frame at
//   ShownAspectPair, as its writer does;
// - an MPEG program stream (format 4 or 5) the pixels that show its frame
//   at MpegDisplayAspect;
// - every other frame has square pixels.
PixelAspect OutputPixelAspect(const OutputConfig& output);

// The display aspect an MPEG-2 frame declares (players know only a few):
// 16:9 or 4:3, whichever is nearer the source's (4:3 when it is unknown);
// always 4:3 for a VOB frame a DVD shows only at 4:3 (DvdTakesWidescreen).
PixelAspect MpegDisplayAspect(const OutputConfig& output);

// The display aspect, as a pair, a Windows Media output shows its frames
// at: the source's (aspect_x:aspect_y), or what the user's choice to
// stretch widescreen makes of it (see OutputPictureAspect): 4:3, or 0.75 of
// the source's. 0:0, square pixels, when the source's is not known or is
// narrower than 4:3 (an upright phone video): that picture goes between
// bars at the sides of a frame shown as it is.
void ShownAspectPair(const OutputConfig& output, int* x, int* y);

// The display aspect (width ÷ height) the output gives a picture whose own
// display aspect is `source_aspect`: its own, unless the user chose to
// stretch widescreen pictures to 4:3 (vc_aspect not 0, with a profile
// whose device is not "PSP", as the size rule has it): then a picture wider than 4:3 becomes 4:3, or with
// vc_aspect 1 one of 1.9:1 or wider becomes 0.75 of its width. Pictures of
// 4:3 or narrower keep their shape. A non-positive aspect is returned as
// it is.
double OutputPictureAspect(double source_aspect, const OutputConfig& output);

// The device kinds whose frame follows the source (today's phones, Apple's
// HEVC players, WebM and AV1): for them a profile's size "s" is a box the
// frame must fit in, not the frame, and its rate "r" a ceiling.
bool FollowsSourceShape(int device_kind);

struct FrameSize {
  int width = 0;
  int height = 0;
  bool operator==(const FrameSize&) const = default;
};

// The frame for a source of `source_width` × `source_height` pixels shown
// at `display_aspect` (width ÷ height; 0 or less: square pixels): the
// source's shape at the source's height, made smaller (never larger) to fit
// a box of `box_width` × `box_height`, which an upright (portrait) picture
// takes turned; no box when either side is 0. Both sides even, at least 2,
// never past the box. {0, 0} when the source size is unknown.
FrameSize FittedFrameSize(int source_width, int source_height, double display_aspect,
                          int box_width, int box_height);

// The frame rate for a source of `source_rate` frames per second under a
// ceiling: the source's own, or when it is faster, the source's divided by
// the smallest whole number that brings it within the ceiling (60 → 30 and
// 50 → 25 under 30), so every kept picture lasts as long as every other;
// but the ceiling itself where that fraction would be below three quarters
// of it (30 under 25 stays 25, not 15). A source slower than one picture a
// second takes a whole multiple of its rate that reaches one. The ceiling
// when the source's rate is unknown (0 or less).
double FollowedFrameRate(double source_rate, double ceiling);

}  // namespace ovc
