#include "platform/wmf/wm_profile.h"

#include <algorithm>

namespace ovc::wmf {

// --- WmStreamConfig ---------------------------------------------------------

HResult WmStreamConfig::SetStreamNumber(uint16_t number) {
  if (number < 1 || number > 63) return kEInvalidArg;
  stream_number_ = number;
  return kSOk;
}

HResult WmStreamConfig::SetStreamName(std::string_view name) {
  stream_name_ = name;
  return kSOk;
}

HResult WmStreamConfig::SetConnectionName(std::string_view name) {
  connection_name_ = name;
  return kSOk;
}

HResult WmStreamConfig::SetBitrate(uint32_t bits_per_second) {
  bitrate_ = bits_per_second;
  return kSOk;
}

HResult WmStreamConfig::SetBufferWindow(uint32_t milliseconds) {
  buffer_window_ = milliseconds;
  return kSOk;
}

HResult WmStreamConfig::SetMediaType(const MediaType& type) {
  if (type.major_type != type_) return kEInvalidArg;
  bool has_block = type_ == MajorType::kAudio ? type.wave_format() != nullptr
                                              : type.video_info() != nullptr;
  if (!has_block) return kEInvalidArg;
  media_type_ = type;
  return kSOk;
}

HResult WmStreamConfig::SetLanguage(uint32_t lcid) {
  language_ = lcid;
  return kSOk;
}

HResult WmStreamConfig::SetQuality(uint32_t quality) {
  if (type_ != MajorType::kVideo || quality > 100) return kEInvalidArg;
  quality_ = quality;
  return kSOk;
}

HResult WmStreamConfig::SetMaxKeyFrameSpacing(int64_t spacing) {
  if (type_ != MajorType::kVideo || spacing <= 0) return kEInvalidArg;
  max_key_frame_spacing_ = spacing;
  return kSOk;
}

// --- WmProfile --------------------------------------------------------------

HResult WmProfile::SetName(std::string_view name) {
  name_ = name;
  return kSOk;
}

HResult WmProfile::SetDescription(std::string_view description) {
  description_ = description;
  return kSOk;
}

HResult WmProfile::CreateNewStream(MajorType type, std::unique_ptr<WmStreamConfig>* config) const {
  if (!config) return kEPointer;
  if (type != MajorType::kAudio && type != MajorType::kVideo) return kEInvalidArg;
  *config = std::make_unique<WmStreamConfig>(type);
  return kSOk;
}

HResult WmProfile::AddStream(const WmStreamConfig& config) {
  uint16_t number = config.GetStreamNumber();
  if (number == 0 || config.GetMediaType().major_type != config.GetStreamType())
    return kEInvalidArg;
  bool taken = std::any_of(streams_.begin(), streams_.end(), [&](const WmStreamConfig& s) {
    return s.GetStreamNumber() == number;
  });
  if (taken) return kEInvalidArg;
  streams_.push_back(config);
  return kSOk;
}

HResult WmProfile::ReconfigStream(const WmStreamConfig& config) {
  for (WmStreamConfig& stream : streams_) {
    if (stream.GetStreamNumber() != config.GetStreamNumber()) continue;
    if (stream.GetStreamType() != config.GetStreamType()) return kEInvalidArg;
    stream = config;
    return kSOk;
  }
  return kEInvalidArg;
}

HResult WmProfile::GetStream(uint32_t index, std::unique_ptr<WmStreamConfig>* config) const {
  if (!config) return kEPointer;
  if (index >= streams_.size()) return kEInvalidArg;
  *config = std::make_unique<WmStreamConfig>(streams_[index]);
  return kSOk;
}

HResult WmProfile::GetStreamByNumber(uint16_t number,
                                     std::unique_ptr<WmStreamConfig>* config) const {
  if (!config) return kEPointer;
  for (const WmStreamConfig& stream : streams_) {
    if (stream.GetStreamNumber() == number) {
      *config = std::make_unique<WmStreamConfig>(stream);
      return kSOk;
    }
  }
  return kEInvalidArg;
}

// --- WmCodecInfo ------------------------------------------------------------

WmCodecInfo::WmCodecInfo(std::shared_ptr<const CodecTable> codecs)
    : codecs_(std::move(codecs)), vbr_enabled_(codecs_->size(), false) {}

const Codec* WmCodecInfo::Find(MajorType type, uint32_t codec) const {
  uint32_t seen = 0;
  for (const Codec& entry : *codecs_) {
    if (entry.type != type) continue;
    if (seen++ == codec) return &entry;
  }
  return nullptr;
}

std::vector<size_t> WmCodecInfo::ListedFormats(MajorType type, uint32_t codec) const {
  std::vector<size_t> listed;
  const Codec* entry = Find(type, codec);
  if (!entry) return listed;
  if (type == MajorType::kVideo) {
    listed.push_back(0);
    return listed;
  }
  bool vbr = vbr_enabled_[static_cast<size_t>(entry - codecs_->data())];
  for (size_t i = 0; i < entry->formats.size(); ++i)
    if (entry->formats[i].vbr == vbr) listed.push_back(i);
  return listed;
}

HResult WmCodecInfo::GetCodecInfoCount(MajorType type, uint32_t* count) const {
  if (!count) return kEPointer;
  *count = static_cast<uint32_t>(std::count_if(
      codecs_->begin(), codecs_->end(), [&](const Codec& codec) { return codec.type == type; }));
  return kSOk;
}

HResult WmCodecInfo::GetCodecName(MajorType type, uint32_t codec, std::string* name) const {
  if (!name) return kEPointer;
  const Codec* entry = Find(type, codec);
  if (!entry) return kEInvalidArg;
  *name = entry->name;
  return kSOk;
}

HResult WmCodecInfo::SetCodecEnumerationSetting(MajorType type, uint32_t codec,
                                                std::string_view setting, bool value) {
  const Codec* entry = Find(type, codec);
  if (!entry || setting != kVbrEnabledSetting) return kEInvalidArg;
  vbr_enabled_[static_cast<size_t>(entry - codecs_->data())] = value;
  return kSOk;
}

HResult WmCodecInfo::GetCodecFormatCount(MajorType type, uint32_t codec, uint32_t* count) const {
  if (!count) return kEPointer;
  if (!Find(type, codec)) return kEInvalidArg;
  *count = static_cast<uint32_t>(ListedFormats(type, codec).size());
  return kSOk;
}

HResult WmCodecInfo::GetCodecFormat(MajorType type, uint32_t codec, uint32_t format,
                                    std::unique_ptr<WmStreamConfig>* config) const {
  return GetCodecFormatDesc(type, codec, format, config, nullptr);
}

HResult WmCodecInfo::GetCodecFormatDesc(MajorType type, uint32_t codec, uint32_t format,
                                        std::unique_ptr<WmStreamConfig>* config,
                                        std::string* description) const {
  const Codec* entry = Find(type, codec);
  std::vector<size_t> listed = ListedFormats(type, codec);
  if (!entry || format >= listed.size()) return kEInvalidArg;
  auto stream = std::make_unique<WmStreamConfig>(type);
  if (type == MajorType::kAudio) {
    const AudioCodecFormat& chosen = entry->formats[listed[format]];
    stream->SetMediaType(AudioFormatMediaType(*entry, chosen));
    stream->SetBitrate(static_cast<uint32_t>(chosen.bit_rate));
    if (description) *description = chosen.description;
  } else {
    MediaType template_type = VideoCodecMediaType(*entry);
    stream->SetMediaType(template_type);
    stream->SetBitrate(template_type.video_info()->bit_rate);
    if (description) *description = entry->name;
  }
  if (config) *config = std::move(stream);
  return kSOk;
}

// --- WmProfileManager -------------------------------------------------------

WmProfileManager::WmProfileManager() : codec_info_(InstalledCodecs()) {}

HResult WmProfileManager::SetSystemProfileVersion(uint32_t version) {
  if (version != kWmtVer40 && version != kWmtVer70 && version != kWmtVer80 &&
      version != kWmtVer90)
    return kEInvalidArg;
  system_profile_version_ = version;
  return kSOk;
}

HResult WmProfileManager::CreateEmptyProfile(uint32_t version,
                                             std::unique_ptr<WmProfile>* profile) const {
  if (!profile) return kEPointer;
  if (version != kWmtVer70 && version != kWmtVer80 && version != kWmtVer90) return kEInvalidArg;
  *profile = std::make_unique<WmProfile>(version);
  return kSOk;
}

HResult WMCreateProfileManager(std::unique_ptr<WmProfileManager>* manager) {
  if (!manager) return kEPointer;
  *manager = std::make_unique<WmProfileManager>();
  return kSOk;
}

}  // namespace ovc::wmf
