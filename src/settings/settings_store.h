#pragma once

#include <cstdint>
#include <string>

namespace ovc {

// The settings store. Every setting is a registry key of its own below the
// settings root of the current user, its value the text in that key's
// unnamed default value (REG_SZ). Numbers are kept as text: integers as
// "%d", reals as "%.10lf", read back by ParseSettingInt / ParseSettingReal.
//
// Reads take one path relative to the root ("dbg", "OutputConfig\\Width",
// "URL\\home"); writes take a group ("" for directly under the root) and a
// name. No operation caches, validates or clamps a value. Each call opens
// the store afresh, so any thread may call; the UI thread is the usual one.

// "Software\Orvane\Orvane Video Converter Zezivovi\" (with the trailing
// backslash), below HKEY_CURRENT_USER.
std::string SettingsRoot();

// The longest text a read accepts, in bytes; a longer stored text fails the
// read like a missing one.
inline constexpr size_t kMaxSettingTextBytes = 511;

// A read whose key or value is missing, or whose text is longer than
// kMaxSettingTextBytes, returns the default. Otherwise the text is converted:
// letters read as 0, an empty text as 0. (A REG_DWORD value, which an
// imported script may supply, reads as its number.)
int ReadSettingInt(const std::string& relative_path, int default_value);
double ReadSettingReal(const std::string& relative_path, double default_value);
std::string ReadSettingText(const std::string& relative_path, const std::string& default_value);

// Creates the key root+group+name when missing and stores the text as its
// default value. Returns the registry status (0 = success).
int WriteSettingInt(const std::string& group, const std::string& name, int value);
int WriteSettingReal(const std::string& group, const std::string& name, double value);
int WriteSettingText(const std::string& group, const std::string& name, const std::string& text);

// Video codec handler codes: the four characters read as a little-endian
// 32-bit word.
inline constexpr uint32_t kFourccXvid = 0x44495658;  // "XVID" = 1145656920
inline constexpr uint32_t kFourccDivx = 0x58564944;  // "DIVX" = 1482049860

// Writes the pass mode that the chosen AVI codec reads before it compresses:
//   XVID: HKCU "Software\GNU\XviD" REG_DWORD "mode": 0 for one pass, 1 in
//         pass 1 of two, 2 in pass 2 of two, 0 otherwise;
//   DIVX: HKCU "Software\DivXNetworks\DivX4Windows" REG_DWORD "VBR Mode":
//         0, 2 and 3 likewise;
//   any other codec: nothing.
// Callers pass the output configuration's values (number of passes, current
// pass, video handler code); substituting them for arguments given as 0 is
// the recording engine's part. Returns the registry status (0 when nothing
// needed writing).
int SetCodecPassMode(int n_pass, int pass, uint32_t fcc_handler);

}  // namespace ovc
