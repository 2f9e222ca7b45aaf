#include "platform/mp3/mp3_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/trace.h"
#include "platform/mp3/lame_binding.h"

namespace ovc {
namespace {

// The library's messages carry their own line feed; a trace entry is a line.
void DropTrailingLineFeeds(char* text) {
  size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = '\0';
}

void TraceMp3Message(const char* format, va_list args) {
  char message[256];
  std::vsnprintf(message, sizeof message, format, args);
  DropTrailingLineFeeds(message);
  TracePrintf("Lame: %s", message);
}

void IgnoreMp3Debug(const char*, va_list) {}

}  // namespace

void TraceMp3Error(const char* format, va_list args) {
  char message[128];
  std::vsnprintf(message, sizeof message, format, args);
  DropTrailingLineFeeds(message);
  TracePrintf("Lame Error: %s", message);
}

int Mp3MaxEncodedBytes(int sample_frames, int input_rate) {
  if (sample_frames <= 0) return 7200;
  // 320 kbit/s is 40,000 bytes per second of input.
  int64_t by_rate = input_rate > 0 ? (int64_t{sample_frames} * 40000 + input_rate - 1) / input_rate : 0;
  int64_t by_count = (int64_t{sample_frames} * 5 + 3) / 4;
  return static_cast<int>(std::max(by_rate, by_count) + 7200);
}

std::unique_ptr<Mp3Encoder> Mp3Encoder::Create(const Mp3Library& library) {
  const LameFunctions* f = library.functions();
  if (f == nullptr) return nullptr;
  lame_global_flags* flags;
  {
    MutexLock hold(&library.setup_lock());
    flags = f->init();
  }
  if (flags == nullptr) return nullptr;
  f->set_msgf(flags, TraceMp3Message);
  f->set_debugf(flags, IgnoreMp3Debug);
  return std::unique_ptr<Mp3Encoder>(new Mp3Encoder(library, flags));
}

Mp3Encoder::Mp3Encoder(const Mp3Library& library, lame_global_struct* flags) : library_(library), flags_(flags) {}

Mp3Encoder::~Mp3Encoder() { library_.functions()->close(flags_); }

void Mp3Encoder::InstallErrorCallback() { library_.functions()->set_errorf(flags_, TraceMp3Error); }

int Mp3Encoder::SetParameter(int number, int value) {
  int row = FindLameParameter(number);
  if (row < 0) {
    TracePrintf("MP3 parameter %d unknown", number);
    return -1;
  }
  if (CallLameSetter(*library_.functions(), row, flags_, value) != 0) {
    TracePrintf("MP3 parameter %d (%s) refused %d", number, LameParameterTable()[row].setter, value);
    return -1;
  }
  return 0;
}

int Mp3Encoder::InitParameters() {
  int result;
  {
    MutexLock hold(&library_.setup_lock());
    result = library_.functions()->init_params(flags_);
  }
  initialised_ = result >= 0;
  return result < 0 ? result : 0;
}

int Mp3Encoder::EncodeMono(const int16_t* samples, int sample_frames, uint8_t* output, int output_size) {
  // A two-channel encoder given no right plane would silently return nothing.
  return Encode(samples, samples, sample_frames, output, output_size);
}

int Mp3Encoder::EncodeStereo(const int16_t* left, const int16_t* right, int sample_frames, uint8_t* output,
                             int output_size) {
  return Encode(left, right, sample_frames, output, output_size);
}

int Mp3Encoder::Encode(const int16_t* left, const int16_t* right, int sample_frames, uint8_t* output,
                       int output_size) {
  if (!initialised_) return -3;
  // The library reads an output size of 0 as "unbounded".
  if (output == nullptr || output_size <= 0 || sample_frames < 0) return -1;
  if (sample_frames == 0) return 0;
  if (left == nullptr || right == nullptr) return -1;
  return library_.functions()->encode_buffer(flags_, left, right, sample_frames, output, output_size);
}

int Mp3Encoder::Flush(uint8_t* output, int output_size) {
  if (!initialised_) return -3;
  if (output == nullptr || output_size <= 0) return -1;
  initialised_ = false;
  return library_.functions()->encode_flush(flags_, output, output_size);
}

int Mp3Encoder::bit_rate_kbps() const { return library_.functions()->get_brate(flags_); }

int Mp3Encoder::output_sample_rate() const { return library_.functions()->get_out_samplerate(flags_); }

int Mp3Encoder::output_channels() const { return library_.functions()->get_mode(flags_) == MONO ? 1 : 2; }

int Mp3Encoder::samples_per_frame() const { return library_.functions()->get_framesize(flags_); }

int Mp3Encoder::encoder_delay() const { return library_.functions()->get_encoder_delay(flags_); }

}  // namespace ovc
