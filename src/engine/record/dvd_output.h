#pragma once

#include <cstdint>

#include "engine/record/output_config.h"

namespace ovc {

// What a DVD player takes in a VOB file (format 5), and so what that
// output is held to:
//
//  system  frame rate  frame sizes                         shown at
//  NTSC    29.97       720x480, 704x480, 352x480, 352x240  4:3; 16:9 on 720 and 704 wide
//  PAL     25          720x576, 704x576, 352x576, 352x288  4:3; 16:9 on 720 and 704 wide
//
// MPEG-2 Main Profile at Main Level, at most 9.8 Mbit/s of video in a
// program stream of 2,048-byte packs (sectors) that never carries more than
// 10.08 Mbit/s in all, a navigation pack (PCI and DSI) at the start of every
// video object unit (the key frames at least 0.4 s apart; 12-picture groups
// make them 0.4 to 0.5 s long); sound at 48 kHz, MPEG-1 layer II (up to 384
// kbit/s) or AC-3 (up to 448), one or two channels.

// The program stream's rate, bits per second.
constexpr int64_t kDvdMuxBits = 10080000;
// The most video in any one second: with the sound (448 kbit/s at most)
// and the packs' own headers and navigation packs (about 3 %) the program
// stream stays within kDvdMuxBits.
constexpr int64_t kDvdVideoPeakBits = 9000000;
constexpr int kDvdSampleRate = 48000;

// Moves the frame size, frame rate and sound rate the profile gave
// `output` to the DVD's: the system by the frame rate (25 PAL; 29.97, 30,
// 23.976 and 24 NTSC; any other by the frame height, 288 or 576 PAL), the
// nearest of its widths, and the half height only for a 352-wide frame
// whose height is nearer the half than the full one.
void FitDvdOutput(OutputConfig* output);

// A DVD frame may be shown at 16:9 only when it is 704 or 720 wide.
bool DvdTakesWidescreen(const OutputConfig& output);

}  // namespace ovc
