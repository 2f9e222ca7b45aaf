#pragma once

#include <string>

#include "engine/record/mp4_format_plan.h"
#include "engine/record/output_config.h"

namespace ovc {

// The outputs for today's web players, written by Mp4Writer like the rest
// of format 2:
//
//  device      container        video                     sound
//  kDeviceWebm WebM ("webm")    VP9 profile 0 (libvpx)    Opus 48 kHz, 1-2 ch
//  kDeviceAv1  MP4 ("mp4")      AV1 Main (SVT-AV1; below  Opus 48 kHz, 1-2 ch
//                               64x64 libaom-av1)
//
// Browsers, GStreamer and the ffmpeg command all read both; MP4 carries the
// Opus pre-skip in its sample description and an edit list, WebM in the
// track's codec delay, so sound and picture start together as played.
// Both code 8-bit 4:2:0 at the size and rate asked, by constant quality
// (OutputConfig::video_quality, the encoders' CRF) when one is set, else
// by the bit rate; a key frame at least every kKeyFrameSeconds.

// Whether `output` is written by PlanWebOutput.
bool IsWebOutput(const OutputConfig& output);

// The container of a web output: "webm" or "mp4"; "" for other outputs.
std::string WebMuxerName(const OutputConfig& output);

// Fills *plan for a web output. Returns 0, or -1 when the output is not
// one (IsWebOutput) or FFmpeg has no such container.
int PlanWebOutput(const OutputConfig& output, Mp4Plan* plan);

// Seconds from key frame to key frame at most: where a player can start
// after a seek.
constexpr double kKeyFrameSeconds = 5;

// Opus codes 48 kHz (it takes lower rates only to code less of the band);
// every web output's sound is converted to it.
constexpr int kOpusSampleRate = 48000;

}  // namespace ovc
