#include "platform/mp3/mp3_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <thread>

#include "common/trace.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

// One MPEG audio layer III frame header.
struct Frame {
  int bit_rate_kbps, sample_rate, samples, length;
  int channel_mode, crc, private_bit, copyright, original, emphasis;
  int info;  // data all zero (a place kept for an Xing/Info tag) or a tag
};

// Splits bytes into back-to-back layer III frames; false at a byte that
// starts no frame or a frame cut short.
bool ParseFrames(const std::vector<uint8_t>& b, std::vector<Frame>* frames) {
  static const int kRates[2][15] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
  static const int kFrequencies[3] = {44100, 48000, 32000};
  for (size_t at = 0; at < b.size();) {
    if (b.size() - at < 4) return false;
    const uint8_t* p = &b[at];
    int version = (p[1] >> 3) & 3, rate = p[2] >> 4, frequency = (p[2] >> 2) & 3;  // version 3 = MPEG-1
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0 || version == 1 || ((p[1] >> 1) & 3) != 1 ||
        rate == 0 || rate == 15 || frequency == 3)
      return false;
    Frame f;
    f.bit_rate_kbps = kRates[version == 3][rate];
    f.sample_rate = kFrequencies[frequency] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    f.samples = version == 3 ? 1152 : 576;
    f.length = f.samples / 8 * f.bit_rate_kbps * 1000 / f.sample_rate + ((p[2] >> 1) & 1);
    f.crc = !(p[1] & 1), f.private_bit = p[2] & 1, f.channel_mode = p[3] >> 6;
    f.copyright = (p[3] >> 3) & 1, f.original = (p[3] >> 2) & 1, f.emphasis = p[3] & 3;
    if (at + f.length > b.size()) return false;
    std::string data(p + 4, p + f.length);
    f.info = data.find_first_not_of('\0') == std::string::npos || data.find("Info") != std::string::npos;
    frames->push_back(f);
    at += f.length;
  }
  return !frames->empty();
}

// Interleaved 16-bit samples decoded by the ffmpeg tool; empty on failure.
std::vector<int16_t> Decode(const std::vector<uint8_t>& mp3, const std::string& folder, int channels) {
  test::WriteFile(folder + "/a.mp3", std::string(mp3.begin(), mp3.end()));
  std::string command = "ffmpeg -nostdin -v error -y -f mp3 -i '" + folder + "/a.mp3' -f s16le -ac " +
                        std::to_string(channels) + " '" + folder + "/a.raw'";
  if (std::system(command.c_str()) != 0) return {};
  std::string raw = test::ReadFile(folder + "/a.raw");
  std::vector<int16_t> pcm(raw.size() / 2);
  std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
  return pcm;
}

// Tone frequency from the upward zero crossings of one channel, and its RMS,
// over sample frames [from, to).
void Measure(const std::vector<int16_t>& pcm, int channels, int channel, int rate, size_t from, size_t to,
             double* frequency, double* rms) {
  double first = -1, last = -1, sum = 0;
  int crossings = 0;
  for (size_t i = from; i < to; ++i) {
    int a = pcm[(i - 1) * channels + channel], b = pcm[i * channels + channel];
    sum += double(b) * b;
    if (a < 0 && b >= 0) {
      last = i - 1 + double(-a) / (b - a);
      if (crossings++ == 0) first = last;
    }
  }
  *frequency = crossings > 1 ? (crossings - 1) * double(rate) / (last - first) : 0;
  *rms = std::sqrt(sum / (to - from));
}

// The parameters the AVI recorder sets, in its order; the number refused.
int ApplyRecorderParameters(Mp3Encoder& e, int bit_rate, int out_rate, int stereo, int in_rate) {
  const int values[][2] = {
      {0, bit_rate}, {1, 3}, {2, out_rate}, {3, stereo}, {4, stereo == 3 ? 1 : 2}, {5, in_rate}, {6, 98},
      {7, 0}, {8, 0}, {9, 0}, {10, 0}, {17, 0}, {18, -1}, {19, 0}, {20, -1}, {21, 0}, {22, 0}, {23, 0},
      {24, 0}, {25, 2}, {26, 0}, {27, 1}, {36, 1}, {37, 0}, {38, 0}};
  int refused = 0;
  for (const auto& [number, value] : values) refused += e.SetParameter(number, value) != 0;
  return refused;
}

std::unique_ptr<Mp3Encoder> RecorderEncoder(int bit_rate, int out_rate, int stereo, int in_rate) {
  auto encoder = Mp3Encoder::Create();
  if (encoder == nullptr) return nullptr;
  encoder->InstallErrorCallback();
  if (ApplyRecorderParameters(*encoder, bit_rate, out_rate, stereo, in_rate) != 0) return nullptr;
  return encoder;
}

// Encodes `seconds` of 1 kHz (left amplitude 12000, right 6000) in calls of
// `period` sample frames, then flushes.
std::vector<uint8_t> EncodeTone(Mp3Encoder& e, int in_rate, int input_channels, int period, double seconds) {
  const int total = static_cast<int>(in_rate * seconds);
  std::vector<int16_t> left(total), right(total);
  for (int i = 0; i < total; ++i) {
    left[i] = static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * 1000.0 * i / in_rate)));
    right[i] = static_cast<int16_t>(left[i] / 2);
  }
  std::vector<uint8_t> stream, out(Mp3MaxEncodedBytes(period, in_rate));
  auto append = [&](int bytes) {
    EXPECT_GE(bytes, 0);
    stream.insert(stream.end(), out.begin(), out.begin() + std::max(bytes, 0));
  };
  for (int at = 0; at < total; at += period) {
    int n = std::min(period, total - at);
    append(input_channels == 1 ? e.EncodeMono(&left[at], n, out.data(), out.size())
                               : e.EncodeStereo(&left[at], &right[at], n, out.data(), out.size()));
  }
  append(e.Flush(out.data(), kMp3FlushBytes));
  return stream;
}

std::string TraceText(const test::TempWorld& world) {
  std::istringstream in(test::ReadFile(world.temp() + "/Orvane.elog"));
  std::string text;
  for (std::string line, message; std::getline(in, line);) {
    uint32_t tick;
    if (UnscrambleTraceLine(line, &tick, &message)) text += message + "\n";
  }
  return text;
}

// --- A tone through the recorder's parameters ------------------------------

struct ToneCase {
  const char* name;
  int in_rate, out_rate;
  int input_channels;  // 1: the mono call; 2: the two-channel call
  int stereo;          // channel code; 3 = mono
  int bit_rate;
  int period;  // sample frames per call; 0 = one 15 fps frame period
};
void PrintTo(const ToneCase& c, std::ostream* os) { *os << c.name; }

class Mp3ToneTest : public testing::TestWithParam<ToneCase> {};

TEST_P(Mp3ToneTest, GivesFramesOfTheAskedFormatThatDecodeToTheTone) {
  const ToneCase& c = GetParam();
  test::TempWorld world;
  auto encoder = RecorderEncoder(c.bit_rate, c.out_rate, c.stereo, c.in_rate);
  ASSERT_NE(encoder, nullptr);
  ASSERT_EQ(encoder->InitParameters(), 0);
  const int channels = c.stereo == 3 ? 1 : 2, frame_samples = c.out_rate >= 32000 ? 1152 : 576;
  EXPECT_EQ(encoder->output_channels(), channels);
  EXPECT_EQ(encoder->bit_rate_kbps(), c.bit_rate);
  EXPECT_EQ(encoder->samples_per_frame(), frame_samples);

  const double seconds = 2.0;
  auto stream = EncodeTone(*encoder, c.in_rate, c.input_channels, c.period ? c.period : c.in_rate / 15, seconds);
  std::vector<Frame> frames;
  ASSERT_TRUE(ParseFrames(stream, &frames));
  EXPECT_FALSE(frames[0].info);
  for (const Frame& f : frames) {
    ASSERT_EQ(f.bit_rate_kbps, c.bit_rate);
    ASSERT_EQ(f.sample_rate, c.out_rate);
    ASSERT_EQ(f.channel_mode, c.stereo);
  }

  std::vector<int16_t> pcm = Decode(stream, world.root(), channels);
  const size_t decoded = pcm.size() / channels;
  ASSERT_EQ(decoded, frames.size() * frame_samples);
  // The input behind the encoder's and the decoder's delay, padded to whole frames.
  const double expected = seconds * c.out_rate + encoder->encoder_delay() + 529;
  EXPECT_GE(decoded, expected);
  EXPECT_LT(decoded, expected + frame_samples);

  for (int channel = 0; channel < channels; ++channel) {
    double frequency, rms;
    Measure(pcm, channels, channel, c.out_rate, c.out_rate / 5, decoded - c.out_rate / 5, &frequency, &rms);
    EXPECT_NEAR(frequency, 1000.0, 5.0) << channel;
    // Right carries half of left; the mono call feeds both channels; mono
    // output from two planes takes the left one. Input gain 98%.
    double amplitude = channel == 1 && c.input_channels == 2 ? 6000 : 12000;
    EXPECT_NEAR(rms, amplitude * 0.98 / std::sqrt(2.0), amplitude * 0.05) << channel;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mp3ToneTest,
    testing::Values(ToneCase{"Stereo44100At128", 44100, 44100, 2, 0, 128, 0},
                    ToneCase{"JointStereo48000At192", 48000, 48000, 2, 1, 192, 0},
                    ToneCase{"DualChannel48000At256", 48000, 48000, 2, 2, 256, 0},
                    ToneCase{"Mono22050At64", 22050, 22050, 1, 3, 64, 0},
                    ToneCase{"Joint48000At32", 48000, 48000, 2, 1, 32, 0},
                    ToneCase{"Resampled44100To22050At96", 44100, 22050, 2, 0, 96, 0},
                    ToneCase{"MonoOutputFromTwoPlanes48000", 48000, 48000, 2, 3, 128, 0},
                    ToneCase{"StereoOutputFromMonoCall22050", 22050, 22050, 1, 0, 56, 0},
                    ToneCase{"Upsampled8000To48000At320InLongCalls", 8000, 48000, 1, 3, 320, 7000}),
    testing::PrintToStringParamName());

// --- One parameter changed, seen in the first frame header ------------------

struct HeaderCase {
  const char* name;
  int number, value;  // number -1: the recorder's parameters as they are
  int Frame::*field;
  int expected;
};
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class Mp3HeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(Mp3HeaderTest, ParameterShowsInTheFrames) {
  const HeaderCase& c = GetParam();
  test::TempWorld world;
  auto encoder = RecorderEncoder(128, 44100, 0, 44100);
  ASSERT_NE(encoder, nullptr);
  if (c.number >= 0) {
    ASSERT_EQ(encoder->SetParameter(c.number, c.value), 0);
  }
  ASSERT_EQ(encoder->InitParameters(), 0);
  std::vector<Frame> frames;
  ASSERT_TRUE(ParseFrames(EncodeTone(*encoder, 44100, 2, 2940, 0.5), &frames));
  EXPECT_EQ(frames[0].*c.field, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mp3HeaderTest,
    testing::Values(HeaderCase{"RecorderIsOriginal", -1, 0, &Frame::original, 1},
                    HeaderCase{"RecorderHasNoCrc", -1, 0, &Frame::crc, 0},
                    HeaderCase{"Copyright", kMp3Copyright, 1, &Frame::copyright, 1},
                    HeaderCase{"Crc", kMp3ErrorProtection, 1, &Frame::crc, 1},
                    HeaderCase{"PrivateBit", kMp3PrivateBit, 1, &Frame::private_bit, 1},
                    HeaderCase{"NotOriginal", kMp3Original, 0, &Frame::original, 0},
                    HeaderCase{"Emphasis", kMp3Emphasis, 1, &Frame::emphasis, 1},
                    HeaderCase{"OutputRate", kMp3OutputSampleRate, 32000, &Frame::sample_rate, 32000},
                    HeaderCase{"InfoFrame", kMp3WriteInfoFrame, 1, &Frame::info, 1}),
    testing::PrintToStringParamName());

// --- Numbers, values and call order -----------------------------------------

TEST(Mp3Parameters, RecorderSequenceIsAcceptedForEveryChannelCodeAndRate) {
  test::TempWorld world;
  for (int stereo : {0, 1, 2, 3}) {
    for (int rate : {8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000}) {
      auto encoder = RecorderEncoder(64, rate, stereo, 44100);
      ASSERT_NE(encoder, nullptr) << stereo << " " << rate;
      EXPECT_EQ(encoder->InitParameters(), 0) << stereo << " " << rate;
    }
  }
  EXPECT_EQ(TraceText(world), "");
}

TEST(Mp3Parameters, BitRateInUseIsTheNearestTheStreamAllows) {
  const int cases[][3] = {{192, 22050, 160}, {7, 44100, 32}, {1000, 48000, 320}, {100, 44100, 96}};
  for (const auto& [asked, rate, used] : cases) {
    auto encoder = RecorderEncoder(asked, rate, 0, rate);
    ASSERT_NE(encoder, nullptr);
    ASSERT_EQ(encoder->InitParameters(), 0);
    EXPECT_EQ(encoder->bit_rate_kbps(), used) << asked << " kbit/s at " << rate;
  }
}

TEST(Mp3Parameters, UnknownNumbersAndValuesOutOfRangeAreRefusedAndTraced) {
  test::TempWorld world;
  auto encoder = Mp3Encoder::Create();
  ASSERT_NE(encoder, nullptr);
  for (int number : {-1, 11, 16, 28, 35, 39}) EXPECT_EQ(encoder->SetParameter(number, 0), -1) << number;
  const int bad[][2] = {{3, 7}, {3, -1}, {21, 99}, {4, 3}, {5, 0}, {2, 12345}};
  for (const auto& [number, value] : bad) EXPECT_EQ(encoder->SetParameter(number, value), -1) << number;
  EXPECT_NE(TraceText(world).find("MP3 parameter 39 unknown\n"), std::string::npos);
  EXPECT_NE(TraceText(world).find("MP3 parameter 3 (lame_set_mode) refused 7\n"), std::string::npos);
  EXPECT_EQ(encoder->InitParameters(), 0);
}

TEST(Mp3Encoder, RefusesEncodingBeforeInitAfterFlushAndIntoNoBuffer) {
  auto encoder = RecorderEncoder(128, 44100, 0, 44100);
  ASSERT_NE(encoder, nullptr);
  int16_t samples[1152] = {};
  uint8_t out[kMp3FlushBytes];
  EXPECT_EQ(encoder->EncodeMono(samples, 1152, out, sizeof out), -3);
  ASSERT_EQ(encoder->InitParameters(), 0);
  EXPECT_EQ(encoder->EncodeMono(samples, 1152, out, 0), -1);  // the library reads 0 as unbounded
  EXPECT_EQ(encoder->EncodeStereo(samples, nullptr, 1152, out, sizeof out), -1);
  EXPECT_EQ(encoder->EncodeMono(samples, -5, out, sizeof out), -1);
  EXPECT_GE(encoder->EncodeMono(samples, 1152, out, sizeof out), 0);
  EXPECT_GE(encoder->Flush(out, sizeof out), 0);
  EXPECT_EQ(encoder->EncodeMono(samples, 1152, out, sizeof out), -3);
  EXPECT_EQ(encoder->Flush(out, sizeof out), -3);
}

// --- Messages ------------------------------------------------------------------

void CallErrorCallback(const char* format, ...) {
  va_list args;
  va_start(args, format);
  TraceMp3Error(format, args);
  va_end(args);
}

TEST(Mp3Messages, ErrorsAreTracedCutTo128BytesAndWarningsToo) {
  test::TempWorld world;
  CallErrorCallback("bit reservoir error %d\n", 7);
  CallErrorCallback("%s", std::string(300, 'x').c_str());
  auto encoder = RecorderEncoder(128, 44100, 0, 44100);
  ASSERT_NE(encoder, nullptr);
  ASSERT_EQ(encoder->SetParameter(kMp3HighpassFrequency, 1), 0);
  ASSERT_EQ(encoder->InitParameters(), 0);
  EXPECT_EQ(TraceText(world), "Lame Error: bit reservoir error 7\nLame Error: " + std::string(127, 'x') +
                                  "\nLame: Warning: highpass filter disabled.  highpass frequency too small\n");
}

// --- Loading --------------------------------------------------------------------

TEST(Mp3Library, MissingOrForeignLibraryIsNotLoadedAndGivesNoEncoder) {
  test::TempWorld world;
  const std::string missing = world.Path("libmp3lame.so.0");
  for (const std::string& name : {missing, std::string("libm.so.6")}) {
    EXPECT_FALSE(Mp3Library::Named(name).loaded()) << name;
    EXPECT_EQ(Mp3Encoder::Create(Mp3Library::Named(name)), nullptr) << name;
  }
  std::string trace = TraceText(world);
  EXPECT_EQ(trace.find("MP3 encoder library " + missing + " not loaded: "), 0u) << trace;
  EXPECT_NE(trace.find("MP3 encoder library libm.so.6 not loaded: no lame_init\n"), std::string::npos) << trace;
}

TEST(Mp3Library, EnvironmentChoosesTheLibraryOnEveryCall) {
  {
    test::TempWorld world;
    world.SetEnv(kMp3LibraryVariable, world.Path("missing.so"));
    EXPECT_FALSE(Mp3Library::Default().loaded());
    EXPECT_EQ(Mp3Encoder::Create(), nullptr);
  }
  EXPECT_TRUE(Mp3Library::Default().loaded());
  EXPECT_EQ(Mp3Library::Default().name(), kMp3LibraryName);
}

TEST(Mp3Library, ConcurrentFirstUsesShareOneLoad) {
  std::vector<const Mp3Library*> seen(8);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &Mp3Library::Named("libmp3lame.so"); });
  for (auto& t : threads) t.join();
  for (const Mp3Library* library : seen) EXPECT_EQ(library, seen[0]);
  EXPECT_TRUE(seen[0]->loaded());
}

}  // namespace
}  // namespace ovc
