#include "engine/record/wmv_streams.h"

namespace ovc {
namespace {

using wmf::HResult;
using wmf::MajorType;

// The codec information to use: the caller's, or that of a profile manager
// kept in `own`.
HResult ResolveCodecInfo(wmf::WmCodecInfo* given,
                         std::unique_ptr<wmf::WmProfileManager>* own,
                         wmf::WmCodecInfo** info) {
  if (given) {
    *info = given;
    return wmf::kSOk;
  }
  HResult hr = wmf::WMCreateProfileManager(own);
  if (wmf::Succeeded(hr)) *info = &(*own)->codec_info();
  return hr;
}

}  // namespace

HResult CreateAudioStream(std::unique_ptr<wmf::WmStreamConfig>* config,
                          wmf::WmCodecInfo* codec_info, const wmf::WmProfile* profile,
                          uint32_t buffer_window, int codec_index, int format_index, bool vbr,
                          uint32_t passes, uint32_t language) {
  if (!config || !profile) return wmf::kEPointer;
  if (codec_index < 0 || format_index < 0 || vbr || passes != 1) return wmf::kEInvalidArg;
  std::unique_ptr<wmf::WmProfileManager> own;
  wmf::WmCodecInfo* info = nullptr;
  HResult hr = ResolveCodecInfo(codec_info, &own, &info);
  if (wmf::Failed(hr)) return hr;
  const uint32_t codec = static_cast<uint32_t>(codec_index);
  hr = info->SetCodecEnumerationSetting(MajorType::kAudio, codec, wmf::kVbrEnabledSetting, vbr);
  if (wmf::Failed(hr)) return hr;
  std::unique_ptr<wmf::WmStreamConfig> format;
  hr = info->GetCodecFormat(MajorType::kAudio, codec, static_cast<uint32_t>(format_index), &format);
  if (wmf::Failed(hr)) return hr;

  std::unique_ptr<wmf::WmStreamConfig> stream;
  if (wmf::Failed(hr = profile->CreateNewStream(MajorType::kAudio, &stream)) ||
      wmf::Failed(hr = stream->SetBitrate(format->GetBitrate())) ||
      wmf::Failed(hr = stream->SetBufferWindow(buffer_window)) ||
      wmf::Failed(hr = stream->SetMediaType(format->GetMediaType())) ||
      wmf::Failed(hr = stream->SetLanguage(language)))
    return hr;
  *config = std::move(stream);
  return wmf::kSOk;
}

HResult CreateVideoStream(std::unique_ptr<wmf::WmStreamConfig>* config,
                          wmf::WmCodecInfo* codec_info, const wmf::WmProfile* profile,
                          int codec_index, uint32_t bitrate, uint32_t buffer_window, int width,
                          int height, int fps, uint32_t quality, uint32_t seconds_per_key,
                          bool vbr, VideoVbrMode vbr_mode, uint32_t /*vbr_quality*/,
                          uint32_t /*max_bitrate*/, uint32_t /*max_buffer_window*/,
                          uint32_t language) {
  if (!config || !profile) return wmf::kEPointer;
  if (codec_index < 0 || width <= 0 || height <= 0 || fps <= 0 || seconds_per_key == 0 || vbr ||
      vbr_mode != VideoVbrMode::kOff)
    return wmf::kEInvalidArg;
  std::unique_ptr<wmf::WmProfileManager> own;
  wmf::WmCodecInfo* info = nullptr;
  HResult hr = ResolveCodecInfo(codec_info, &own, &info);
  if (wmf::Failed(hr)) return hr;
  std::unique_ptr<wmf::WmStreamConfig> format;
  hr = info->GetCodecFormat(MajorType::kVideo, static_cast<uint32_t>(codec_index), 0, &format);
  if (wmf::Failed(hr)) return hr;

  wmf::MediaType type = format->GetMediaType();
  wmf::VideoInfoHeader* video = type.video_info();
  if (!video) return wmf::kEUnexpected;
  video->source = wmf::Rect32{0, 0, width, height};
  video->target = video->source;
  video->bit_rate = bitrate;
  video->avg_time_per_frame = 10000000 / fps;
  video->bmi.width = width;
  video->bmi.height = height;

  std::unique_ptr<wmf::WmStreamConfig> stream;
  if (wmf::Failed(hr = profile->CreateNewStream(MajorType::kVideo, &stream)) ||
      wmf::Failed(hr = stream->SetBitrate(bitrate)) ||
      wmf::Failed(hr = stream->SetBufferWindow(buffer_window)) ||
      wmf::Failed(hr = stream->SetQuality(quality)) ||
      wmf::Failed(hr = stream->SetMaxKeyFrameSpacing(int64_t{seconds_per_key} * 10000000)) ||
      wmf::Failed(hr = stream->SetMediaType(type)) ||
      wmf::Failed(hr = stream->SetLanguage(language)))
    return hr;
  *config = std::move(stream);
  return wmf::kSOk;
}

}  // namespace ovc
