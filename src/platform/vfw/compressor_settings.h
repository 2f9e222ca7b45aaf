#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/vfw/compressor_table.h"

namespace ovc::vfw {

enum class PassMode : uint32_t {
  kOnePass = 0,
  kFirstPass = 1,   // encode and record statistics
  kSecondPass = 2,  // encode to the bit rate using the recorded statistics
};

// What a compressor encodes with; its state blob.
struct CompressorSettings {
  PassMode pass_mode = PassMode::kOnePass;
  uint32_t bit_rate_kbps = kDefaultBitRateKbps;  // 0 = constant quality
  uint32_t quality = kDefaultQuality;            // 0..10000, used at constant quality
  std::string stats_file;                        // two-pass statistics

  static constexpr uint32_t kDefaultQuality = 7500;
  static constexpr uint32_t kMaxQuality = 10000;
  static constexpr uint32_t kMaxBitRateKbps = 1000000;
  static constexpr size_t kMaxStatsPathBytes = 4096;

  bool operator==(const CompressorSettings&) const = default;
};

// The settings of a compressor from its registry key; values that are
// missing or of the wrong type take their defaults.
CompressorSettings ReadCompressorSettings(const CompressorInfo& info);

// The pass mode a registry value stands for with this compressor.
PassMode PassModeFromRegistry(const CompressorInfo& info, uint32_t value);

// The state blob, little-endian:
//   0  "OVCS"         magic
//   4  u32 1          layout version
//   8  u32 handler    whose settings these are
//  12  u32 pass mode
//  16  u32 bit rate   kbit/s
//  20  u32 quality
//  24  u32 n          length of the statistics path
//  28  n bytes        the path, no terminator
inline constexpr size_t kStateHeaderBytes = 28;

std::string SerializeSettings(FourCC handler, const CompressorSettings& settings);
// The settings in a blob of this handler, or nothing when the blob is not
// exactly one well-formed blob with values in range.
std::optional<CompressorSettings> ParseSettings(FourCC handler, std::string_view blob);

}  // namespace ovc::vfw
