#pragma once

#include <cstdint>
#include <memory>

#include "platform/wmf/wm_profile.h"

namespace ovc {

// The user's default language, as stream configurations take it
// (LOCALE_USER_DEFAULT).
inline constexpr uint32_t kDefaultLanguage = 0x0400;

// How a video stream varies its bit rate (VIDEO_VBR_MODE). The installed
// video codecs write at a constant bit rate only.
enum class VideoVbrMode { kOff, kQuality, kConstrained, kUnconstrained };

// A new audio stream configuration for `profile` from one format of an
// installed codec: the format's media type (taken with variable-bit-rate
// formats switched off, so the numbering matches the enumeration), its bit
// rate, the buffer window (ms) and the language. `codec_info` may be null:
// a profile manager of its own is used then. Only constant-bit-rate,
// one-pass audio is available.
wmf::HResult CreateAudioStream(std::unique_ptr<wmf::WmStreamConfig>* config,
                               wmf::WmCodecInfo* codec_info, const wmf::WmProfile* profile,
                               uint32_t buffer_window, int codec_index, int format_index,
                               bool vbr, uint32_t passes, uint32_t language);

// A new video stream configuration for `profile` from an installed video
// codec: `bitrate` bits per second within `buffer_window` ms, a frame of
// width × height at `fps` frames per second, `quality` 0..100, a key frame
// at least every `seconds_per_key` seconds, and the language. The VBR
// arguments must say constant bit rate.
wmf::HResult CreateVideoStream(std::unique_ptr<wmf::WmStreamConfig>* config,
                               wmf::WmCodecInfo* codec_info, const wmf::WmProfile* profile,
                               int codec_index, uint32_t bitrate, uint32_t buffer_window,
                               int width, int height, int fps, uint32_t quality,
                               uint32_t seconds_per_key, bool vbr, VideoVbrMode vbr_mode,
                               uint32_t vbr_quality, uint32_t max_bitrate,
                               uint32_t max_buffer_window, uint32_t language);

}  // namespace ovc
