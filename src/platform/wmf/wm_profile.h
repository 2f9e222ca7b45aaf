#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wmf/wm_codecs.h"
#include "platform/wmf/wm_media_type.h"
#include "platform/wmf/wm_result.h"

namespace ovc::wmf {

// Profile versions (WMT_VERSION).
inline constexpr uint32_t kWmtVer40 = 0x00040000;
inline constexpr uint32_t kWmtVer70 = 0x00070000;
inline constexpr uint32_t kWmtVer80 = 0x00080000;
inline constexpr uint32_t kWmtVer90 = 0x00090000;

// The codec enumeration setting that lists variable-bit-rate formats.
inline constexpr char kVbrEnabledSetting[] = "_VBRENABLED";

// One stream of a profile (IWMStreamConfig with its media properties and,
// for video, IWMVideoMediaProps). A value: profiles hand out copies, and a
// changed copy goes back through AddStream or ReconfigStream.
class WmStreamConfig {
 public:
  explicit WmStreamConfig(MajorType type) : type_(type) {}

  MajorType GetStreamType() const { return type_; }

  uint16_t GetStreamNumber() const { return stream_number_; }
  // 1 to 63.
  HResult SetStreamNumber(uint16_t number);
  const std::string& GetStreamName() const { return stream_name_; }
  HResult SetStreamName(std::string_view name);
  const std::string& GetConnectionName() const { return connection_name_; }
  HResult SetConnectionName(std::string_view name);

  uint32_t GetBitrate() const { return bitrate_; }  // bits per second
  HResult SetBitrate(uint32_t bits_per_second);
  uint32_t GetBufferWindow() const { return buffer_window_; }  // ms
  HResult SetBufferWindow(uint32_t milliseconds);

  const MediaType& GetMediaType() const { return media_type_; }
  // The type must be of the stream's major type and carry its format
  // block (wave format for audio, video info for video).
  HResult SetMediaType(const MediaType& type);

  uint32_t GetLanguage() const { return language_; }  // LCID
  HResult SetLanguage(uint32_t lcid);

  // Video only: the smoothness/sharpness trade-off 0..100, and the longest
  // distance between key frames in 100-ns units.
  uint32_t GetQuality() const { return quality_; }
  HResult SetQuality(uint32_t quality);
  int64_t GetMaxKeyFrameSpacing() const { return max_key_frame_spacing_; }
  HResult SetMaxKeyFrameSpacing(int64_t spacing);

 private:
  MajorType type_;
  uint16_t stream_number_ = 0;
  std::string stream_name_;
  std::string connection_name_;
  uint32_t bitrate_ = 0;
  uint32_t buffer_window_ = 3000;
  MediaType media_type_;
  uint32_t language_ = 0;
  uint32_t quality_ = 0;
  int64_t max_key_frame_spacing_ = 80000000;  // 8 s
};

// A profile: the streams of a file to write (IWMProfile3).
class WmProfile {
 public:
  explicit WmProfile(uint32_t version) : version_(version) {}

  uint32_t GetVersion() const { return version_; }
  const std::string& GetName() const { return name_; }
  HResult SetName(std::string_view name);
  const std::string& GetDescription() const { return description_; }
  HResult SetDescription(std::string_view description);

  // A fresh stream configuration of `type` for this profile.
  HResult CreateNewStream(MajorType type, std::unique_ptr<WmStreamConfig>* config) const;
  // Adds a copy of `config`; its stream number must be set and unused.
  HResult AddStream(const WmStreamConfig& config);
  // Replaces the stream with the same number by a copy of `config`.
  HResult ReconfigStream(const WmStreamConfig& config);

  uint32_t GetStreamCount() const { return static_cast<uint32_t>(streams_.size()); }
  // Copies of the streams, by position or by stream number.
  HResult GetStream(uint32_t index, std::unique_ptr<WmStreamConfig>* config) const;
  HResult GetStreamByNumber(uint16_t number, std::unique_ptr<WmStreamConfig>* config) const;
  const std::vector<WmStreamConfig>& streams() const { return streams_; }

 private:
  uint32_t version_;
  std::string name_;
  std::string description_;
  std::vector<WmStreamConfig> streams_;
};

// The installed codecs and their formats as the profile manager lists them
// (IWMCodecInfo3). Enumeration settings belong to this object.
class WmCodecInfo {
 public:
  explicit WmCodecInfo(std::shared_ptr<const CodecTable> codecs);

  HResult GetCodecInfoCount(MajorType type, uint32_t* count) const;
  HResult GetCodecName(MajorType type, uint32_t codec, std::string* name) const;
  // Known setting: kVbrEnabledSetting (false until set). A codec without
  // variable-bit-rate formats lists none while it is true.
  HResult SetCodecEnumerationSetting(MajorType type, uint32_t codec, std::string_view setting,
                                     bool value);
  HResult GetCodecFormatCount(MajorType type, uint32_t codec, uint32_t* count) const;
  // A stream configuration for the format (type, bit rate, buffer window
  // 3000 ms) and, for the Desc variant, the format's description. Video
  // codecs have one format: their template type.
  HResult GetCodecFormat(MajorType type, uint32_t codec, uint32_t format,
                         std::unique_ptr<WmStreamConfig>* config) const;
  HResult GetCodecFormatDesc(MajorType type, uint32_t codec, uint32_t format,
                             std::unique_ptr<WmStreamConfig>* config,
                             std::string* description) const;

 private:
  // The codec of `type` with index `codec` among those of its type.
  const Codec* Find(MajorType type, uint32_t codec) const;
  // Indices into the codec's formats that the current settings list.
  std::vector<size_t> ListedFormats(MajorType type, uint32_t codec) const;

  std::shared_ptr<const CodecTable> codecs_;
  std::vector<bool> vbr_enabled_;  // by position in the table
};

// The profile manager (IWMProfileManager2, with IWMCodecInfo3): creates
// profiles and lists the codecs installed when it was created.
class WmProfileManager {
 public:
  WmProfileManager();

  uint32_t GetSystemProfileVersion() const { return system_profile_version_; }
  HResult SetSystemProfileVersion(uint32_t version);
  HResult CreateEmptyProfile(uint32_t version, std::unique_ptr<WmProfile>* profile) const;

  WmCodecInfo& codec_info() { return codec_info_; }

 private:
  uint32_t system_profile_version_ = kWmtVer90;
  WmCodecInfo codec_info_;
};

// WMCreateProfileManager.
HResult WMCreateProfileManager(std::unique_ptr<WmProfileManager>* manager);

}  // namespace ovc::wmf
