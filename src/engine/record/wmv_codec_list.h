#pragma once

#include <string>
#include <vector>

#include "platform/wmf/wm_result.h"

namespace ovc {

// The Windows Media audio codec offered for WMV output and its formats.
struct WmAudioCodecList {
  // The first installed codec whose name begins with "Windows Media Audio 9";
  // codecs after it are not looked at.
  std::vector<std::string> codecs;
  // Its formats in the codec's order, up to the first one described as
  // "(A/V) CBR"; formats described as "24 bit" are left out.
  std::vector<std::string> formats;
  int codec_index = -1;   // the codec's number in the codec information
  int format_index = -1;  // the wanted format's number among the codec's formats
};

// The installed Windows Media video codecs.
struct WmVideoCodecList {
  std::vector<std::string> codecs;  // every installed video codec, in order
  int codec_index = -1;             // the wanted codec's number
};

// Lists the audio codec and formats as above, with the codec's variable-bit-
// rate formats switched off, and finds `wanted_format` among them. The
// wanted codec name does not choose the codec. Returns 0, or the failing
// result (traced).
wmf::HResult EnumerateWmAudioCodecs(const std::string& wanted_codec,
                                    const std::string& wanted_format, WmAudioCodecList* list);

// Lists the video codecs and finds `wanted_codec` among them. Returns 0, or
// the failing result (traced).
wmf::HResult EnumerateWmVideoCodecs(const std::string& wanted_codec, WmVideoCodecList* list);

}  // namespace ovc
