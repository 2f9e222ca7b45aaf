#pragma once

#include <string>

#include "engine/record/mp4_format_plan.h"
#include "engine/record/output_config.h"

namespace ovc {

// What the player of each shipped profile accepts (data/profile/*.pr offer
// only values inside these), and what the encoders are held to:
//
//  profile      video                     sizes            fps     peak kbit/s  buffer kbit  sound                   container
//  PSP          MPEG-4 SP, L3/L4a          <= 480x272       14.985  768          96           AAC-LC 24/48 kHz, 1-2   MP4 brand MSNV
//                                                           / 29.97
//  PSP AVC      H.264 Main, L2.1 (3.0      <= 480x272       14.985  768          192          AAC-LC 24/48 kHz, 1-2   MP4 brand MSNV
//               above 396 macroblocks)                      / 29.97
//  iPod         H.264 Baseline L1.3        <= 320x240       <= 30   768          768          AAC-LC <= 48 kHz,       MP4 (M4V)
//                                                                                             <= 160 kbit/s, 1-2
//  iPod MPEG-4  MPEG-4 SP, L3/L4a          <= 480x480       <= 30   2500         -            as iPod                 MP4 (M4V)
//  3GP phone    H.263 profile 0, L10/L45   128x96, 176x144  <= 15   128          -            AMR-NB 8 kHz mono       3GP (3gp4)
//  3GP MPEG-4   MPEG-4 SP, L1-L3           <= 352x288       <= 30   384          -            AAC-LC <= 48 kHz, 1-2   3GP (3gp4)
//  AVI          MPEG-4 SP (XVID or DIVX),  <= 720x576       <= 30   4854         3072         MP3 <= 48 kHz, 1-2      AVI
//               L3..L5
//  MPEG-2       MPEG-2 MP@ML               <= 720x576       MPEG    9800         1792         MP2 44.1/48 kHz, 1-2    MPEG-2 program stream
//                                                           rates
//  VOB (any     MPEG-2 MP@ML               DVD sizes        25 /    9000         1792         MP2/AC-3 48 kHz, 1-2    DVD sectors, 10.08
//  profile of                              (dvd_output.h)   29.97                                                     Mbit/s in all
//  fileext vob)
//  QuickTime    MPEG-4 SP L3..L5, or       <= 720x480       <= 30   level's      level's      AAC-LC, 1-2             QuickTime
//               H.264 High L3.0
//  WMV          Windows Media Video 7/8    <= 720x480       <= 30   stream rate  3 s window   WMA 2                   ASF
//  Phone 720p   H.264 High L3.1            <= 1280x720      <= 30   17500        4375         AAC-LC 48 kHz, 2        MP4, moov first
//                                          (turned: 720x1280) at 1280x720
//  Phone 1080p  H.264 High L4.0            <= 1920x1080     <= 30   25000        6250         AAC-LC 48 kHz, 2        MP4, moov first
//                                          (turned)         at 1920x1080
//  iPhone/iPad  HEVC Main, 8-bit, the      <= 1920x1080     <= 60   the level's  1/4 of it    AAC-LC 48 kHz, 2        MP4, hvc1, moov first
//  (HEVC)       lowest of L3.1, 4, 4.1,    (3840x2160 as
//               5, 5.1 that holds it       a choice)
//
// The phone and HEVC frames take the source's shape inside the profile's
// box, never larger than the source (FittedFrameSize); their frame rate is
// the source's up to 60 frames per second, and for the phones also within
// what the level's macroblock rate allows at the frame's size.
// "peak" is the most the video may carry in any one second; "buffer" the
// decoder's buffer (MPEG-4 and H.263 levels name their own). The encoders
// are given a ceiling and a buffer that together stay within that peak.

// The most video bits the player of an output of `muxer` and `codec`
// takes in any one second, and the decoder buffer it has, in bits (0: the
// level's own). Both 0: no player is known; the level sets the limit.
struct VideoLimit {
  int64_t peak_bits = 0;
  int buffer_bits = 0;
};
VideoLimit DeviceVideoLimit(const std::string& muxer, AVCodecID codec);

// Holds `video` to its player: its bit rate, rate ceiling and buffer so
// that no second carries more than the limit, the profile and level its
// stream then needs, and for MPEG-2 the 4:3 or 16:9 shape from the
// source's. Called by PlanMp4Output once the codec, size and rate are set.
void ApplyDeviceLimits(const OutputConfig& output, const std::string& muxer,
                       Mp4VideoSettings* video);

// The H.264 High level a phone output declares for a picture size: 3.1 up
// to 1280x720's 3,600 macroblocks, 4.0 up to 1920x1088's 8,160 (what
// phones of every maker decode); 0 past that, which no phone profile offers.
int PhoneH264Level(int width, int height);
// The most frames per second PhoneH264Level's level decodes at that size;
// 0 when it has no level.
double PhoneH264MaxFrameRate(int width, int height);
// The HEVC Main tier level (times 10: 31, 40, 41, 50, 51) that holds the
// picture size and rate, 3.1 at least; 0 when none does.
int HevcLevel(int width, int height, double fps);

// The MPEG-4 Simple Profile level (1, 2, 3, 4 for 4a, 5, 6; 8 for L0 is
// never chosen) whose picture size, macroblock rate and bit rate hold the
// stream; 0 when none does.
int Mpeg4SimpleLevel(int width, int height, double fps, int64_t peak_bits);
// The H.263 profile 0 level (10, 20, 30, 40, 45) likewise.
int H263Level(int width, int height, double fps, int64_t peak_bits);

}  // namespace ovc
