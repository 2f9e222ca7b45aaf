#include "engine/record/amr_nb_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/record/mp4_av_handles.h"

namespace ovc {
namespace {

struct ModeCase {
  double kbps;
  int mode;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.kbps << " kbit/s"; }

class AmrNbNearestMode : public testing::TestWithParam<ModeCase> {};

TEST_P(AmrNbNearestMode, RoundsTheProfileRateToTheNearestMode) {
  EXPECT_EQ(AmrNbEncoder::NearestMode(GetParam().kbps), GetParam().mode);
}

// The rates the phone profile offers, and beyond both ends.
INSTANTIATE_TEST_SUITE_P(ProfileRates, AmrNbNearestMode,
                         testing::Values(ModeCase{0, 0}, ModeCase{4, 0}, ModeCase{5, 1},
                                         ModeCase{5.6, 2}, ModeCase{6, 2}, ModeCase{7, 3},
                                         ModeCase{7.8, 5}, ModeCase{8, 5}, ModeCase{10, 6},
                                         ModeCase{12, 7}, ModeCase{64, 7}));

TEST(AmrNbEncoder, TakesOnly8000HzMono) {
  std::string reason;
  EXPECT_EQ(AmrNbEncoder::Open(16000, 1, 12, &reason), nullptr);
  EXPECT_EQ(reason, "it takes 8000 Hz mono only, not 16000 Hz with 1 channel");
  EXPECT_EQ(AmrNbEncoder::Open(8000, 2, 12, &reason), nullptr);
  EXPECT_EQ(reason, "it takes 8000 Hz mono only, not 8000 Hz with 2 channels");
}

// Bytes of one storage-format frame (header byte included) by mode.
constexpr int kFrameBytes[AmrNbEncoder::kModeCount] = {13, 14, 16, 18, 20, 21, 27, 32};

class AmrNbModes : public testing::TestWithParam<int> {};

// Every mode's packets are one frame each, in the storage format that
// libavcodec's AMR-NB decoder (as any 3GP player) reads, and decode back to
// the tone that went in.
TEST_P(AmrNbModes, PacketsDecodeBackToTheTone) {
  const int mode = GetParam();
  std::string reason;
  auto encoder = AmrNbEncoder::Open(8000, 1, AmrNbEncoder::ModeKbps(mode), &reason);
  ASSERT_NE(encoder, nullptr) << reason;
  EXPECT_EQ(encoder->mode(), mode);

  const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_AMR_NB);
  ASSERT_NE(decoder, nullptr);
  Mp4CodecContextPtr context(avcodec_alloc_context3(decoder));
  context->sample_rate = 8000;
  av_channel_layout_default(&context->ch_layout, 1);
  ASSERT_EQ(avcodec_open2(context.get(), decoder, nullptr), 0);
  Mp4FramePtr frame(av_frame_alloc());

  constexpr int kFrames = 50;  // one second
  std::vector<float> decoded;
  std::vector<int16_t> pcm(AmrNbEncoder::kFrameSamples);
  int64_t expected_pts = 0;
  for (int f = 0; f < kFrames; ++f) {
    for (int i = 0; i < AmrNbEncoder::kFrameSamples; ++i) {
      const double t = (f * AmrNbEncoder::kFrameSamples + i) / 8000.0;
      pcm[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * t));
    }
    int result = encoder->Encode(
        pcm.data(), AmrNbEncoder::kFrameSamples, expected_pts, [&](AVPacket* packet) {
          EXPECT_EQ(packet->size, kFrameBytes[mode]);
          EXPECT_EQ((packet->data[0] >> 3) & 0x0F, mode);  // frame type
          EXPECT_EQ(packet->pts, expected_pts);
          EXPECT_EQ(packet->duration, AmrNbEncoder::kFrameSamples);
          EXPECT_EQ(avcodec_send_packet(context.get(), packet), 0);
          while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            const float* samples = reinterpret_cast<const float*>(frame->data[0]);
            decoded.insert(decoded.end(), samples, samples + frame->nb_samples);
          }
          return 0;
        });
    ASSERT_EQ(result, 0);
    expected_pts += AmrNbEncoder::kFrameSamples;
  }
  // One channel: planar or packed float lie alike in data[0].
  ASSERT_EQ(av_get_packed_sample_fmt(context->sample_fmt), AV_SAMPLE_FMT_FLT);
  ASSERT_EQ(decoded.size(), static_cast<size_t>(kFrames * AmrNbEncoder::kFrameSamples));

  // The second half second, after the codec has settled: 440 Hz (220
  // rising zero crossings) at about the level that went in (8000 / 32768
  // peak).
  double energy = 0;
  int crossings = 0;
  const size_t half = decoded.size() / 2;
  for (size_t i = half; i < decoded.size(); ++i) {
    energy += decoded[i] * decoded[i];
    if (decoded[i - 1] < 0 && decoded[i] >= 0) ++crossings;
  }
  const double rms = std::sqrt(energy / (decoded.size() - half));
  EXPECT_NEAR(crossings, 220, 5);
  EXPECT_NEAR(rms, 8000 / 32768.0 / std::sqrt(2.0), 0.08);
}

INSTANTIATE_TEST_SUITE_P(AllModes, AmrNbModes, testing::Range(0, AmrNbEncoder::kModeCount));

}  // namespace
}  // namespace ovc
