#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/record/output_config.h"

namespace ovc {

struct CProfile;

// ASCII comparison without regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Chooses the container of a profile's output and the sub-choices that go
// with it. Rules in this order, each later match overriding an earlier one:
//   Windows Media profile                  format 1
//   "xvid"  + "mp3"                        format 3, use_mpeg4_tag false
//   "mpeg4" + "mp3"                        format 3, use_mpeg4_tag true
//   "mpeg4" + "aac"                        format 2, use_h264 false
//   "h264"  + "aac"                        format 2, use_h264 true
//   "hevc"  + "aac"                        format 2 (the device kind picks HEVC)
//   "mpeg2video" + any audio               format 4, mpg_ac3 false
//   device "mobile3gp"                     format 6, format_3gp 0 for h263 +
//                                          amr_nb, 1 h263 + mpeg4aac, 2 mpeg4
//                                          + amr_nb, 3 mpeg4 + mpeg4aac (other
//                                          pairs keep format_3gp)
//   device "phone", "hevc", "webm", "av1"  format 2 (FollowsSourceShape)
//   fileext "mov"                          format 7
//   fileext "vob"                          format 5
// Codec names and the extension compare without regard to case, the device
// exactly. Returns false when no rule matched: `format` and the sub-choices
// are then left as they were. Asking the Windows Media writer for the audio
// formats of a Windows Media profile is the caller's part.
bool ChooseContainer(const CProfile& profile, OutputConfig* output);

// Makes `device_kind` (which MP4 flavour the writer produces) agree with the
// profile's device and the main window's PSP flag: a device DeviceKindOf
// knows → its kind, another named device → other player. A profile without a device
// keeps the kind unless it contradicts the PSP flag, which it then follows.
void MatchDeviceKind(const CProfile& profile, bool psp, OutputConfig* output);

// What the output frame size of a profile becomes on a source of
// `source_width` × `source_height` pixels:
//  1. aspect = source width / height, at least 4:3;
//  2. width = the number at the start of `s`;
//  3. with `vc_aspect` not 0 and a device other than "PSP": `vc_aspect` 1
//     takes three quarters of an aspect of 1.9 or more and 4:3 for a smaller
//     one, any other `vc_aspect` takes 4:3;
//  4. height = width / aspect rounded up to a multiple of 16.
// With `psp_sizes` the result is instead the PSP size for the aspect:
// "320x240" up to 1.4, "368x208" up to 1.9, "400x192" above.
// No value (the size stays as it is) when the source size is unknown (either
// side not positive), the video codec is exactly "h263" or (in any case)
// "mpeg2video", the device is "mobile3gp" (phones and MPEG-2 players take
// their standard sizes only), the device's frame follows the source inside
// the size (FollowsSourceShape), or the width part of `s` is 0 (or
// negative).
std::optional<std::string> DerivedFrameSize(const CProfile& profile, bool psp_sizes,
                                            int source_width, int source_height, int vc_aspect);

}  // namespace ovc
