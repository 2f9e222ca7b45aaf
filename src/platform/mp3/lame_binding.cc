#include "platform/mp3/lame_binding.h"

#include <dlfcn.h>

#include <algorithm>
#include <iterator>

#include "platform/mp3/mp3_parameter.h"

namespace ovc {
namespace {

constexpr LameParameterRow kTable[] = {
    {kMp3BitRate, "lame_set_brate", LameValueKind::kInteger},
    {kMp3Quality, "lame_set_quality", LameValueKind::kInteger},
    {kMp3OutputSampleRate, "lame_set_out_samplerate", LameValueKind::kInteger},
    {kMp3ChannelMode, "lame_set_mode", LameValueKind::kChannelMode},
    {kMp3InputChannels, "lame_set_num_channels", LameValueKind::kInteger},
    {kMp3InputSampleRate, "lame_set_in_samplerate", LameValueKind::kInteger},
    {kMp3InputGainPercent, "lame_set_scale", LameValueKind::kPercent},
    {kMp3Copyright, "lame_set_copyright", LameValueKind::kInteger},
    {kMp3ErrorProtection, "lame_set_error_protection", LameValueKind::kInteger},
    {kMp3PrivateBit, "lame_set_extension", LameValueKind::kInteger},
    {kMp3Emphasis, "lame_set_emphasis", LameValueKind::kInteger},
    {kMp3LowpassFrequency, "lame_set_lowpassfreq", LameValueKind::kInteger},
    {kMp3LowpassWidth, "lame_set_lowpasswidth", LameValueKind::kInteger},
    {kMp3HighpassFrequency, "lame_set_highpassfreq", LameValueKind::kInteger},
    {kMp3HighpassWidth, "lame_set_highpasswidth", LameValueKind::kInteger},
    {kMp3VbrMode, "lame_set_VBR", LameValueKind::kVbrMode},
    {kMp3VbrQuality, "lame_set_VBR_q", LameValueKind::kInteger},
    {kMp3VbrMinBitRate, "lame_set_VBR_min_bitrate_kbps", LameValueKind::kInteger},
    {kMp3VbrMaxBitRate, "lame_set_VBR_max_bitrate_kbps", LameValueKind::kInteger},
    {kMp3FrameSizeLimit, "lame_set_strict_ISO", LameValueKind::kInteger},
    {kMp3DisableReservoir, "lame_set_disable_reservoir", LameValueKind::kInteger},
    {kMp3Original, "lame_set_original", LameValueKind::kInteger},
    {kMp3TracksInSequence, "lame_set_nogap_total", LameValueKind::kInteger},
    {kMp3TrackIndex, "lame_set_nogap_currentindex", LameValueKind::kInteger},
    {kMp3WriteInfoFrame, "lame_set_bWriteVbrTag", LameValueKind::kInteger},
};

static_assert(std::is_sorted(std::begin(kTable), std::end(kTable),
                             [](const LameParameterRow& a, const LameParameterRow& b) { return a.number < b.number; }));

template <typename Function>
bool Resolve(void* handle, const char* name, Function* slot, const char** missing) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    *missing = name;
    return false;
  }
  *slot = reinterpret_cast<Function>(symbol);
  return true;
}

}  // namespace

std::span<const LameParameterRow> LameParameterTable() { return kTable; }

int FindLameParameter(int number) {
  auto it = std::lower_bound(std::begin(kTable), std::end(kTable), number,
                             [](const LameParameterRow& row, int n) { return row.number < n; });
  if (it == std::end(kTable) || it->number != number) return -1;
  return static_cast<int>(it - std::begin(kTable));
}

bool ResolveLameFunctions(void* handle, LameFunctions* f, const char** missing) {
  bool ok = Resolve(handle, "lame_init", &f->init, missing) &&
            Resolve(handle, "lame_close", &f->close, missing) &&
            Resolve(handle, "lame_init_params", &f->init_params, missing) &&
            Resolve(handle, "lame_set_errorf", &f->set_errorf, missing) &&
            Resolve(handle, "lame_set_msgf", &f->set_msgf, missing) &&
            Resolve(handle, "lame_set_debugf", &f->set_debugf, missing) &&
            Resolve(handle, "lame_encode_buffer", &f->encode_buffer, missing) &&
            Resolve(handle, "lame_encode_flush", &f->encode_flush, missing) &&
            Resolve(handle, "lame_get_brate", &f->get_brate, missing) &&
            Resolve(handle, "lame_get_out_samplerate", &f->get_out_samplerate, missing) &&
            Resolve(handle, "lame_get_num_channels", &f->get_num_channels, missing) &&
            Resolve(handle, "lame_get_mode", &f->get_mode, missing) &&
            Resolve(handle, "lame_get_framesize", &f->get_framesize, missing) &&
            Resolve(handle, "lame_get_encoder_delay", &f->get_encoder_delay, missing);
  if (!ok) return false;
  f->setters.clear();
  for (const LameParameterRow& row : kTable) {
    void* setter = nullptr;
    if (!Resolve(handle, row.setter, &setter, missing)) return false;
    f->setters.push_back(setter);
  }
  return true;
}

int CallLameSetter(const LameFunctions& f, int row, lame_global_flags* flags, int value) {
  void* setter = f.setters[row];
  switch (kTable[row].kind) {
    case LameValueKind::kInteger:
      return reinterpret_cast<int (*)(lame_global_flags*, int)>(setter)(flags, value);
    case LameValueKind::kPercent:
      return reinterpret_cast<int (*)(lame_global_flags*, float)>(setter)(flags, value / 100.0f);
    case LameValueKind::kChannelMode:
      // Checked here: a value outside the enumeration must not be cast to it.
      if (value < 0 || value >= MAX_INDICATOR) return -1;
      return reinterpret_cast<int (*)(lame_global_flags*, MPEG_mode)>(setter)(flags, static_cast<MPEG_mode>(value));
    case LameValueKind::kVbrMode:
      if (value < 0 || value >= vbr_max_indicator) return -1;
      return reinterpret_cast<int (*)(lame_global_flags*, vbr_mode)>(setter)(flags, static_cast<vbr_mode>(value));
  }
  return -1;
}

}  // namespace ovc
