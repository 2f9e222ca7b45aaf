#pragma once

#include <string>
#include <string_view>

namespace ovc {

enum class SettingKind { kInteger, kReal, kText };

// One persistent setting: the key group/name below the settings root.
struct SettingRow {
  const char* group;  // "" = directly below the root
  const char* name;
  SettingKind kind;
  const char* default_text;  // as stored; nullptr = none, the setting is absent until written.
                             // A leading "~/" stands for the home folder (DefaultText).
  bool read_at_start_up;     // loaded by start-up, in table order within each group
};

// The text written as "Version" at every start-up.
inline constexpr const char kProgramVersion[] = "4.0 Build 06";
// The vendor's home page, the default of "URL\home".
inline constexpr const char kVendorHomePage[] = "http://www.orvane.com/";

// Every setting the program reads or writes.
inline constexpr SettingRow kSettingsTable[] = {
    // Directly below the root.
    {"", "dbg", SettingKind::kInteger, "0", true},  // capture trace level
    {"", "adjust_speed", SettingKind::kInteger, "1", true},
    {"", "Version", SettingKind::kText, kProgramVersion, false},  // written at every start-up
    {"", "WindowSize", SettingKind::kText, nullptr, false},       // "%d %d %d %d"
    {"URL", "home", SettingKind::kText, kVendorHomePage, false},  // read on "Website"
    // The output configuration.
    {"OutputConfig", "format", SettingKind::kInteger, "0", true},
    {"OutputConfig", "auto_stretch", SettingKind::kInteger, "0", true},
    {"OutputConfig", "n_pass", SettingKind::kInteger, "1", true},
    {"OutputConfig", "OutputFrameRate", SettingKind::kReal, "15", true},
    {"OutputConfig", "AudioVolume", SettingKind::kReal, "5", true},  // level 1..9, fraction dropped
    {"OutputConfig", "disable_screensaver", SettingKind::kInteger, "1", true},
    {"OutputConfig", "brightness_a", SettingKind::kInteger, "0", true},
    {"OutputConfig", "brightness_b", SettingKind::kReal, "1", true},
    {"OutputConfig", "LastOutput", SettingKind::kText, "~/untitled", true},
    {"OutputConfig", "Width", SettingKind::kInteger, "320", true},
    {"OutputConfig", "Height", SettingKind::kInteger, "240", true},
    {"OutputConfig", "VideoBitRate", SettingKind::kInteger, "240", true},
    {"OutputConfig", "left_right_channel", SettingKind::kInteger, "1", true},
    {"OutputConfig", "audio_quality_level", SettingKind::kInteger, "2", true},
    {"OutputConfig", "AudioSampling", SettingKind::kInteger, "0", true},
    {"OutputConfig", "stereo", SettingKind::kInteger, "0", true},
    {"OutputConfig", "Volume", SettingKind::kInteger, "2048", true},  // split size in MB
    {"OutputConfig", "output_size", SettingKind::kReal, "250", true},
    {"OutputConfig", "VideoCodec", SettingKind::kText, "XviD MPEG-4 Codec", true},
    {"OutputConfig", "fcc_handler", SettingKind::kInteger, "1145656920", true},  // "XVID"
    {"OutputConfig", "fcc_type", SettingKind::kInteger, "1667524982", true},     // "vidc"
    {"OutputConfig", "last_profile", SettingKind::kText, "AVI", true},
    {"OutputConfig", "vc_aspect", SettingKind::kInteger, "0", true},
    {"OutputConfig", "file_number", SettingKind::kInteger, nullptr, false},  // written only
};

// The setting's path relative to the root: "name" or "group\name".
std::string SettingPath(const SettingRow& setting);

// The row of group/name (exact spelling), or nullptr.
const SettingRow* FindSetting(std::string_view group, std::string_view name);

// The default converted as the setting's reader converts a stored text
// (0 / 0.0 / "" when the row has none); DefaultText expands a leading "~/".
int DefaultInt(const SettingRow& setting);
double DefaultReal(const SettingRow& setting);
std::string DefaultText(const SettingRow& setting);

// Reads the setting with its table default.
int ReadSettingInt(const SettingRow& setting);
double ReadSettingReal(const SettingRow& setting);
std::string ReadSettingText(const SettingRow& setting);

}  // namespace ovc
