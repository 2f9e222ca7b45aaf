#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>

#include "platform/mp3/mp3_library.h"
#include "platform/mp3/mp3_parameter.h"

struct lame_global_struct;

namespace ovc {

// Bytes an encode call may produce for `sample_frames` input sample frames at
// `input_rate` Hz: the frames the input completes at up to 320 kbit/s, at
// least 1.25 bytes per sample frame, plus 7200 bytes for frames that earlier
// input left pending. At 32 kHz and above this is 1.25 × frames + 7200; at low
// input rates with a high output rate the frames cover more bytes per input
// sample.
int Mp3MaxEncodedBytes(int sample_frames, int input_rate);

// Flush never produces more than this many bytes.
inline constexpr int kMp3FlushBytes = 7200;

// One MP3 encoder instance of a loaded library. Used by one thread at a time.
//
//   Create -> [InstallErrorCallback] -> SetParameter... -> InitParameters
//          -> EncodeMono / EncodeStereo ... -> [Flush] -> destroyed (closed)
//
// Results follow the library: a byte count (>= 0) or a negative error.
class Mp3Encoder {
 public:
  // An encoder of `library`; none when the library is not loaded or cannot
  // create an instance. The library's informational messages go to the trace
  // as "Lame: %s", its debugging output nowhere; errors need
  // InstallErrorCallback.
  static std::unique_ptr<Mp3Encoder> Create(const Mp3Library& library = Mp3Library::Default());

  ~Mp3Encoder();
  Mp3Encoder(const Mp3Encoder&) = delete;
  Mp3Encoder& operator=(const Mp3Encoder&) = delete;

  // Routes the library's error messages to the trace (TraceMp3Error).
  void InstallErrorCallback();

  // Sets parameter `number` (an Mp3Parameter) to `value`. Returns 0, or -1
  // when the number is not ours or the library refuses the value; a refusal
  // is traced and the parameter keeps its previous value.
  int SetParameter(int number, int value);

  // Checks the parameters and prepares encoding. Returns 0 or the library's
  // negative error. No encode call works before this has succeeded.
  int InitParameters();

  // Encodes `sample_frames` 16-bit samples of one channel into `output`
  // (`output_size` bytes, see Mp3MaxEncodedBytes). With two input channels
  // set, the samples feed both. Returns the bytes written (0 while the
  // encoder still collects a frame) or a negative error: -1 the output
  // buffer is too small, or a size that is not positive, a null pointer or a
  // negative count; -3 not initialised or already flushed.
  int EncodeMono(const int16_t* samples, int sample_frames, uint8_t* output, int output_size);

  // The same for two channels given as separate planes. With one input
  // channel set, only `left` is used.
  int EncodeStereo(const int16_t* left, const int16_t* right, int sample_frames, uint8_t* output,
                   int output_size);

  // Pads the pending samples with silence and writes the remaining frames
  // (at most kMp3FlushBytes). That ends the stream: later encode and flush
  // calls return -3.
  int Flush(uint8_t* output, int output_size);

  // The stream's properties, valid after InitParameters succeeded.
  int bit_rate_kbps() const;           // constant bit rate in use
  int output_sample_rate() const;      // Hz
  int output_channels() const;         // 1 for the mono channel mode, else 2
  int samples_per_frame() const;       // 1152 (32 kHz and above) or 576
  int encoder_delay() const;           // leading sample frames of the encoder

 private:
  Mp3Encoder(const Mp3Library& library, lame_global_struct* flags);

  int Encode(const int16_t* left, const int16_t* right, int sample_frames, uint8_t* output, int output_size);

  const Mp3Library& library_;
  lame_global_struct* const flags_;  // owned; closed by the destructor
  bool initialised_ = false;
};

// The error callback: formats the library's message into 128 bytes and
// traces it as "Lame Error: %s" (a trailing line feed dropped).
void TraceMp3Error(const char* format, va_list args);

}  // namespace ovc
