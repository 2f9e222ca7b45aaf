#include "ui/main/profile_container.h"

#include <cmath>
#include <cstdio>

#include "engine/record/output_shape.h"
#include "engine/record/profile.h"
#include "ui/main/profile_panel_cells.h"

namespace ovc {

namespace {

constexpr double kFourThirds = 1.3333333333333333;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool ChooseContainer(const CProfile& profile, OutputConfig* output) {
  const std::string& video = profile.vcodec;
  const std::string& audio = profile.acodec;
  bool matched = false;
  if (profile.IsWindowsMedia()) {
    output->format = kFormatWmv;
    matched = true;
  }
  if (EqualsNoCase(video, "xvid") && EqualsNoCase(audio, "mp3")) {
    output->format = kFormatFfmpegAvi;
    output->use_mpeg4_tag = false;
    matched = true;
  }
  if (EqualsNoCase(video, "mpeg4") && EqualsNoCase(audio, "mp3")) {
    output->format = kFormatFfmpegAvi;
    output->use_mpeg4_tag = true;
    matched = true;
  }
  if (EqualsNoCase(video, "mpeg4") && EqualsNoCase(audio, "aac")) {
    output->format = kFormatMp4;
    output->use_h264 = false;
    matched = true;
  }
  if (EqualsNoCase(video, "h264") && EqualsNoCase(audio, "aac")) {
    output->format = kFormatMp4;
    output->use_h264 = true;
    matched = true;
  }
  if (EqualsNoCase(video, "hevc") && EqualsNoCase(audio, "aac")) {
    output->format = kFormatMp4;
    matched = true;
  }
  if (EqualsNoCase(video, "mpeg2video")) {
    output->format = kFormatMpeg;
    output->mpg_ac3 = EqualsNoCase(audio, "ac3");
    matched = true;
  }
  if (profile.device == "mobile3gp") {
    output->format = kFormat3gp;
    const bool h263 = EqualsNoCase(video, "h263");
    const bool mpeg4 = EqualsNoCase(video, "mpeg4");
    const bool amr = EqualsNoCase(audio, "amr_nb");
    const bool aac = EqualsNoCase(audio, "mpeg4aac");
    if (h263 && amr) output->format_3gp = 0;
    if (h263 && aac) output->format_3gp = 1;
    if (mpeg4 && amr) output->format_3gp = 2;
    if (mpeg4 && aac) output->format_3gp = 3;
    matched = true;
  }
  // Today's devices are written by FFmpeg as format 2, whose device kind
  // picks container and codecs.
  if (const std::optional<int> kind = DeviceKindOf(profile.device);
      kind && FollowsSourceShape(*kind)) {
    output->format = kFormatMp4;
    matched = true;
  }
  // The extension names containers the codec pairs can't tell apart: MPEG-4
  // and AAC in a QuickTime file, MPEG-2 in a DVD's program stream.
  if (EqualsNoCase(profile.fileext, "mov")) {
    output->format = kFormatQuickTime;
    matched = true;
  }
  if (EqualsNoCase(profile.fileext, "vob")) {
    output->format = kFormatVob;
    matched = true;
  }
  return matched;
}

void MatchDeviceKind(const CProfile& profile, bool psp, OutputConfig* output) {
  if (const std::optional<int> kind = DeviceKindOf(profile.device)) {
    output->device_kind = *kind;
  } else if (!profile.device.empty()) {
    output->device_kind = kDeviceOtherPlayer;
  } else if (psp) {
    output->device_kind = kDevicePsp;
  } else if (output->device_kind == kDevicePsp || output->device_kind == kDeviceWebm ||
             output->device_kind == kDeviceAv1) {
    // A device that picks its own container and codecs is not left over
    // for a profile without one.
    output->device_kind = kDeviceOtherPlayer;
  }
}

std::optional<std::string> DerivedFrameSize(const CProfile& profile, bool psp_sizes,
                                            int source_width, int source_height, int vc_aspect) {
  if (source_width <= 0 || source_height <= 0) return std::nullopt;
  if (profile.vcodec == "h263") return std::nullopt;
  // Phones and MPEG-2 players take their standard sizes only; an MPEG-2
  // frame shows a wide picture by its 16:9 shape, not by its size.
  if (profile.device == "mobile3gp" || EqualsNoCase(profile.vcodec, "mpeg2video"))
    return std::nullopt;
  // Today's devices take the source's shape inside the size, which is a
  // box (ApplyProfile), and keeps its value.
  if (const std::optional<int> kind = DeviceKindOf(profile.device);
      kind && FollowsSourceShape(*kind))
    return std::nullopt;
  // A negative width is as meaningless as none.
  const int width = LeadingInt(profile.s);
  if (width <= 0) return std::nullopt;

  double aspect = static_cast<double>(source_width) / source_height;
  if (aspect < kFourThirds) aspect = kFourThirds;
  if (vc_aspect != 0 && profile.device != "PSP") {
    if (vc_aspect == 1 && aspect >= 1.9)
      aspect *= 0.75;
    else
      aspect = kFourThirds;
  }

  if (psp_sizes) {
    if (aspect <= 1.4) return std::string("320x240");
    if (aspect <= 1.9) return std::string("368x208");
    return std::string("400x192");
  }
  // Sixteenths of a line that are only rounding noise of the division (240
  // must not become 256) are not rounded up.
  const double sixteens = std::ceil(width / aspect / 16 - 1e-9);
  const double height = 16 * sixteens;
  char text[48];
  std::snprintf(text, sizeof text, "%dx%d", width,
                height > 2147483647.0 ? 2147483647 : static_cast<int>(height));
  return std::string(text);
}

}  // namespace ovc
