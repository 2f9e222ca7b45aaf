#include "platform/vfw/compressor_settings.h"

#include <cstring>

#include "common/paths.h"
#include "platform/registry/registry_store.h"

namespace ovc::vfw {
namespace {

constexpr char kStateMagic[4] = {'O', 'V', 'C', 'S'};
constexpr uint32_t kStateVersion = 1;

bool ReadDword(const std::string& key, const char* name, uint32_t* number) {
  registry::Value value;
  if (registry::DefaultStore()->QueryValue(registry::Hive::kCurrentUser, key, name, &value) !=
      registry::kSuccess) {
    return false;
  }
  return registry::DwordOf(value, number);
}

std::string ReadText(const std::string& key, const char* name) {
  registry::Value value;
  if (registry::DefaultStore()->QueryValue(registry::Hive::kCurrentUser, key, name, &value) !=
          registry::kSuccess ||
      value.type != registry::kRegSz) {
    return {};
  }
  std::string text = value.data;
  // Values imported from scripts may carry their terminator.
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

void PutU32(std::string* out, uint32_t number) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(number >> shift));
}

uint32_t GetU32(std::string_view bytes, size_t offset) {
  uint32_t number = 0;
  for (int i = 3; i >= 0; --i) {
    number = number << 8 | static_cast<uint8_t>(bytes[offset + static_cast<size_t>(i)]);
  }
  return number;
}

}  // namespace

PassMode PassModeFromRegistry(const CompressorInfo& info, uint32_t value) {
  if (info.pass_mode_value == nullptr) return PassMode::kOnePass;
  if (value == info.first_pass_mode) return PassMode::kFirstPass;
  if (value == info.second_pass_mode) return PassMode::kSecondPass;
  return PassMode::kOnePass;
}

CompressorSettings ReadCompressorSettings(const CompressorInfo& info) {
  CompressorSettings settings;
  const std::string key = info.registry_key;
  uint32_t number = 0;
  if (info.pass_mode_value != nullptr && ReadDword(key, info.pass_mode_value, &number)) {
    settings.pass_mode = PassModeFromRegistry(info, number);
  }
  if (ReadDword(key, kBitRateValue, &number) && number <= CompressorSettings::kMaxBitRateKbps) {
    settings.bit_rate_kbps = number;
  }
  settings.stats_file = ReadText(key, kStatsFileValue);
  if (settings.stats_file.empty() ||
      settings.stats_file.size() > CompressorSettings::kMaxStatsPathBytes) {
    settings.stats_file = TempFolder() + "/" + info.stats_file_name;
  }
  return settings;
}

std::string SerializeSettings(FourCC handler, const CompressorSettings& settings) {
  std::string blob(kStateMagic, sizeof(kStateMagic));
  PutU32(&blob, kStateVersion);
  PutU32(&blob, handler);
  PutU32(&blob, static_cast<uint32_t>(settings.pass_mode));
  PutU32(&blob, settings.bit_rate_kbps);
  PutU32(&blob, settings.quality);
  PutU32(&blob, static_cast<uint32_t>(settings.stats_file.size()));
  blob += settings.stats_file;
  return blob;
}

std::optional<CompressorSettings> ParseSettings(FourCC handler, std::string_view blob) {
  if (blob.size() < kStateHeaderBytes ||
      std::memcmp(blob.data(), kStateMagic, sizeof(kStateMagic)) != 0 ||
      GetU32(blob, 4) != kStateVersion || GetU32(blob, 8) != handler) {
    return std::nullopt;
  }
  uint32_t pass_mode = GetU32(blob, 12);
  CompressorSettings settings;
  settings.bit_rate_kbps = GetU32(blob, 16);
  settings.quality = GetU32(blob, 20);
  uint32_t path_bytes = GetU32(blob, 24);
  if (pass_mode > static_cast<uint32_t>(PassMode::kSecondPass) ||
      settings.bit_rate_kbps > CompressorSettings::kMaxBitRateKbps ||
      settings.quality > CompressorSettings::kMaxQuality || path_bytes == 0 ||
      path_bytes > CompressorSettings::kMaxStatsPathBytes ||
      blob.size() != kStateHeaderBytes + path_bytes) {
    return std::nullopt;
  }
  settings.pass_mode = static_cast<PassMode>(pass_mode);
  settings.stats_file.assign(blob.substr(kStateHeaderBytes));
  if (settings.stats_file.find('\0') != std::string::npos) return std::nullopt;
  return settings;
}

}  // namespace ovc::vfw
