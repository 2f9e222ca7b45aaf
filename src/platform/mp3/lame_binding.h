#pragma once

// Inside the mp3 folder only: the encoder library's entry points as resolved
// at run time, and the table that maps our parameter numbers to its setters.
// The library's header supplies the types; nothing links against it.

#include <lame/lame.h>

#include <span>
#include <vector>

namespace ovc {

// How a parameter's integer value is handed to the library's setter.
enum class LameValueKind {
  kInteger,      // int setter(flags, int)
  kPercent,      // int setter(flags, float), value / 100
  kChannelMode,  // int setter(flags, MPEG_mode), value 0 .. MAX_INDICATOR - 1
  kVbrMode,      // int setter(flags, vbr_mode), value 0 .. vbr_max_indicator - 1
};

struct LameParameterRow {
  int number;          // an Mp3Parameter
  const char* setter;  // the library's symbol
  LameValueKind kind;
};

// Every parameter number we accept, in ascending order.
std::span<const LameParameterRow> LameParameterTable();

// The row index of a parameter number, or -1 when the number is not ours.
int FindLameParameter(int number);

struct LameFunctions {
  decltype(&::lame_init) init = nullptr;
  decltype(&::lame_close) close = nullptr;
  decltype(&::lame_init_params) init_params = nullptr;
  decltype(&::lame_set_errorf) set_errorf = nullptr;
  decltype(&::lame_set_msgf) set_msgf = nullptr;
  decltype(&::lame_set_debugf) set_debugf = nullptr;
  decltype(&::lame_encode_buffer) encode_buffer = nullptr;
  decltype(&::lame_encode_flush) encode_flush = nullptr;
  decltype(&::lame_get_brate) get_brate = nullptr;
  decltype(&::lame_get_out_samplerate) get_out_samplerate = nullptr;
  decltype(&::lame_get_num_channels) get_num_channels = nullptr;
  decltype(&::lame_get_mode) get_mode = nullptr;
  decltype(&::lame_get_framesize) get_framesize = nullptr;
  decltype(&::lame_get_encoder_delay) get_encoder_delay = nullptr;
  // One setter per row of LameParameterTable(), in the same order.
  std::vector<void*> setters;
};

// Resolves every entry point from a dlopen handle. On failure returns false
// and names the first missing symbol.
bool ResolveLameFunctions(void* handle, LameFunctions* functions, const char** missing);

// Calls the setter of row `row` with the value converted as the row says.
// Returns the library's result (0 accepted), or -1 for a value out of the
// setter's range.
int CallLameSetter(const LameFunctions& functions, int row, lame_global_flags* flags, int value);

}  // namespace ovc
