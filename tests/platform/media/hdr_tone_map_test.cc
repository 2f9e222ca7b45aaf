// Sources of every colour kind the decoder meets (8- and 10-bit BT.709,
// BT.2020, HDR in PQ and HLG) showing one scene: black, peak white and an
// orange. Whatever the kind, the delivered 8-bit pictures must show that
// scene in the levels of an 8-bit BT.709 source; an HDR picture taken as it
// is decoded would come out grey and pale (PQ white near luma 180, colours
// with little chroma). A source in colours nothing converts is refused, and
// a large picture converted in bands shows no seams.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "platform/av/av_handles.h"
#include "platform/media/filter_graph.h"
#include "platform/media/grabber_filter.h"
#include "platform/media/hdr_tone_map.h"
#include "platform/media/media_test_support.h"
#include "support/temp_world.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ovc::media::test {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;  // three bands of 16 lines (kScene)
constexpr int kFrames = 3;

using Rgb = std::array<double, 3>;

// The scene's bands in linear BT.709 light, 1.0 the peak (SDR white,
// 1000 cd/m² in HDR): black, white, and an orange well inside both gamuts
// whose brightest component is at the peak, which tone-mapping keeps.
constexpr Rgb kScene[3] = {{0, 0, 0}, {1, 1, 1}, {1, 0.35, 0.2}};
const char* const kBandNames[3] = {"black", "white", "orange"};

struct SourceKind {
  std::string name;
  int bits;
  AVColorTransferCharacteristic transfer;
  AVColorPrimaries primaries;
  AVColorSpace matrix;
  // Levels (8-bit codes) the delivered bands may miss by: libavfilter's PQ
  // curve is approximate (an orange comes out some 7% too light, as the
  // ffmpeg command's tone-mapping makes it); a PQ picture not tone-mapped
  // misses white by 55.
  double tolerance = 4;
};
void PrintTo(const SourceKind& kind, std::ostream* os) { *os << kind.name; }

double Bt709Oetf(double light) {
  return light < 0.018 ? 4.5 * light : 1.099 * std::pow(light, 0.45) - 0.099;
}

// `nits` cd/m² as a PQ signal.
double PqSignal(double nits) {
  const double m1 = 0.1593017578125, m2 = 78.84375;
  const double c1 = 0.8359375, c2 = 18.8515625, c3 = 18.6875;
  const double y = std::pow(std::max(0.0, nits / 10000), m1);
  return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

double HlgOetf(double scene) {
  const double a = 0.17883277, b = 0.28466892, c = 0.55991073;
  return scene <= 1.0 / 12 ? std::sqrt(3 * scene) : a * std::log(12 * scene - b) + c;
}

Rgb Bt709ToBt2020(const Rgb& light) {
  const double m[3][3] = {{0.627403896, 0.329283038, 0.043313066},
                          {0.069097289, 0.919540395, 0.011362316},
                          {0.016391439, 0.088013308, 0.895595253}};
  Rgb out{};
  for (int i = 0; i < 3; ++i) out[i] = m[i][0] * light[0] + m[i][1] * light[1] + m[i][2] * light[2];
  return out;
}

// Linear BT.709 light (1.0 the peak: SDR white, 1000 cd/m² for HDR) as the
// source kind's non-linear R'G'B'.
Rgb Encode(const SourceKind& kind, Rgb light) {
  if (kind.primaries == AVCOL_PRI_BT2020) light = Bt709ToBt2020(light);
  if (kind.transfer == AVCOL_TRC_ARIB_STD_B67) {
    // Display light back to scene light: the HLG system gamma is 1.2 at a
    // 1000 cd/m² peak.
    const double luma = 0.2627 * light[0] + 0.6780 * light[1] + 0.0593 * light[2];
    const double gain = luma > 0 ? std::pow(luma, (1 / 1.2) - 1) : 0;
    for (double& c : light) c *= gain;
  }
  Rgb signal{};
  for (int i = 0; i < 3; ++i) {
    switch (kind.transfer) {
      case AVCOL_TRC_SMPTE2084:
        signal[i] = PqSignal(light[i] * 1000);
        break;
      case AVCOL_TRC_ARIB_STD_B67:
        signal[i] = HlgOetf(light[i]);
        break;
      default:
        signal[i] = Bt709Oetf(light[i]);
    }
  }
  return signal;
}

// Standard-range Y, Cb, Cr codes of `bits` bits for R'G'B'.
std::array<int, 3> Codes(const SourceKind& kind, const Rgb& signal) {
  const bool bt2020 = kind.matrix == AVCOL_SPC_BT2020_NCL;
  const double kr = bt2020 ? 0.2627 : 0.2126, kb = bt2020 ? 0.0593 : 0.0722;
  const double y = kr * signal[0] + (1 - kr - kb) * signal[1] + kb * signal[2];
  const double cb = (signal[2] - y) / (2 * (1 - kb));
  const double cr = (signal[0] - y) / (2 * (1 - kr));
  const double scale = 1 << (kind.bits - 8);
  return {static_cast<int>(std::lround((16 + 219 * y) * scale)),
          static_cast<int>(std::lround((128 + 224 * cb) * scale)),
          static_cast<int>(std::lround((128 + 224 * cr) * scale))};
}

void SetSample(AVFrame& frame, int plane, int x, int y, int value) {
  uint8_t* line = frame.data[plane] + static_cast<ptrdiff_t>(y) * frame.linesize[plane];
  if (frame.format == AV_PIX_FMT_YUV420P) {
    line[x] = static_cast<uint8_t>(value);
  } else {
    reinterpret_cast<uint16_t*>(line)[x] = static_cast<uint16_t>(value);
  }
}

// Writes the scene as a lossless (FFV1) Matroska clip of the kind, its
// colours stated in the stream. "" on success.
std::string WriteSceneClip(const std::string& path, const SourceKind& kind) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
  AVFormatContext* raw_format = nullptr;
  if (!codec || avformat_alloc_output_context2(&raw_format, nullptr, "matroska", path.c_str()) < 0)
    return "no FFV1 encoder or Matroska muxer";
  std::unique_ptr<AVFormatContext, av::OutputContextWithFileDeleter> format(raw_format);
  av::CodecContextPtr encoder(avcodec_alloc_context3(codec));
  encoder->width = kWidth;
  encoder->height = kHeight;
  encoder->pix_fmt = kind.bits == 8 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV420P10;
  encoder->time_base = {1, 25};
  encoder->color_trc = kind.transfer;
  encoder->color_primaries = kind.primaries;
  encoder->colorspace = kind.matrix;
  encoder->color_range = AVCOL_RANGE_MPEG;
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) return "cannot open FFV1";
  AVStream* stream = avformat_new_stream(format.get(), nullptr);
  avcodec_parameters_from_context(stream->codecpar, encoder.get());
  stream->time_base = encoder->time_base;
  if (avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
      avformat_write_header(format.get(), nullptr) < 0)
    return "cannot start " + path;

  av::FramePtr frame(av_frame_alloc());
  frame->format = encoder->pix_fmt;
  frame->width = kWidth;
  frame->height = kHeight;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return "no frame";
  for (int y = 0; y < kHeight; ++y) {
    const std::array<int, 3> codes = Codes(kind, Encode(kind, kScene[y / 16]));
    for (int x = 0; x < kWidth; ++x) {
      SetSample(*frame, 0, x, y, codes[0]);
      if (x % 2 == 0 && y % 2 == 0) {
        SetSample(*frame, 1, x / 2, y / 2, codes[1]);
        SetSample(*frame, 2, x / 2, y / 2, codes[2]);
      }
    }
  }
  av::PacketPtr packet(av_packet_alloc());
  auto drain = [&] {
    while (avcodec_receive_packet(encoder.get(), packet.get()) == 0) {
      av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_interleaved_write_frame(format.get(), packet.get()) < 0) return false;
    }
    return true;
  };
  for (int n = 0; n < kFrames; ++n) {
    frame->pts = n;
    if (avcodec_send_frame(encoder.get(), frame.get()) < 0 || !drain()) return "cannot encode";
  }
  avcodec_send_frame(encoder.get(), nullptr);
  if (!drain() || av_write_trailer(format.get()) < 0) return "cannot finish " + path;
  return "";
}

// The first picture the graph delivers for the clip, as packed YUY2.
struct FirstPicture {
  MediaResult render_result = kErrorFail;
  bool connected = false;
  std::vector<uint8_t> yuy2;
};

FirstPicture PlayFirstPicture(const std::string& path) {
  FirstPicture result;
  auto grabber = std::make_shared<VideoGrabber>();
  auto clock = std::make_shared<FakeClock>();
  FilterGraph graph;
  EXPECT_EQ(graph.AddFilter(grabber, "Video Grabber"), kOk);
  result.render_result = graph.RenderFile(path);
  result.connected = grabber->in()->IsConnected();
  if (!result.connected) return result;
  std::mutex mutex;
  grabber->SetCallback([&](MediaSample& sample, ReferenceTime*, ReferenceTime*, int32_t,
                           int32_t) {
    std::lock_guard lock(mutex);
    if (result.yuy2.empty()) result.yuy2.assign(sample.data(), sample.data() + sample.length());
    return 0;
  });
  StopOnExit stop(graph);
  EXPECT_EQ(graph.SetReferenceClock(clock), kOk);
  graph.SetFreeRunning(true);
  EXPECT_EQ(graph.Run(), kOk);
  EXPECT_EQ(WaitForEvent(graph), kEventComplete);
  graph.Stop();
  grabber->SetCallback(nullptr);
  return result;
}

// Mean Y, U and V over the middle lines of band `band` of a kWidth-wide
// YUY2 picture.
std::array<double, 3> BandLevels(const std::vector<uint8_t>& yuy2, int band) {
  std::array<double, 3> sum{};
  int pairs = 0;
  for (int y = band * 16 + 4; y < band * 16 + 12; ++y) {
    const uint8_t* line = yuy2.data() + static_cast<ptrdiff_t>(y) * kWidth * 2;
    for (int x = 0; x < kWidth; x += 2, ++pairs) {
      sum[0] += (line[2 * x] + line[2 * x + 2]) / 2.0;
      sum[1] += line[2 * x + 1];
      sum[2] += line[2 * x + 3];
    }
  }
  for (double& s : sum) s /= pairs;
  return sum;
}

class SourceColoursTest : public ::testing::TestWithParam<SourceKind> {};

TEST_P(SourceColoursTest, ShowTheSceneInBt709Levels) {
  const SourceKind& kind = GetParam();
  ovc::test::TempWorld world;
  const std::string path = world.Path("scene.mkv");
  ASSERT_EQ(WriteSceneClip(path, kind), "");
  const FirstPicture picture = PlayFirstPicture(path);
  ASSERT_EQ(picture.render_result, kOk);
  ASSERT_EQ(picture.yuy2.size(), static_cast<size_t>(kWidth * kHeight * 2));

  // Each band as an 8-bit BT.709 source holds it.
  const SourceKind bt709{"", 8, AVCOL_TRC_BT709, AVCOL_PRI_BT709, AVCOL_SPC_BT709, 0};
  for (int band = 0; band < 3; ++band) {
    const std::array<int, 3> expected = Codes(bt709, Encode(bt709, kScene[band]));
    const std::array<double, 3> levels = BandLevels(picture.yuy2, band);
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(levels[c], expected[c], kind.tolerance)
          << kBandNames[band] << " component " << c;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SourceColoursTest,
    ::testing::Values(
        SourceKind{"Bt709EightBit", 8, AVCOL_TRC_BT709, AVCOL_PRI_BT709, AVCOL_SPC_BT709},
        SourceKind{"Bt709TenBit", 10, AVCOL_TRC_BT709, AVCOL_PRI_BT709, AVCOL_SPC_BT709},
        SourceKind{"Bt2020TenBit", 10, AVCOL_TRC_BT2020_10, AVCOL_PRI_BT2020,
                   AVCOL_SPC_BT2020_NCL},
        SourceKind{"Bt2020Pq", 10, AVCOL_TRC_SMPTE2084, AVCOL_PRI_BT2020, AVCOL_SPC_BT2020_NCL,
                   12},
        SourceKind{"Bt2020Hlg", 10, AVCOL_TRC_ARIB_STD_B67, AVCOL_PRI_BT2020,
                   AVCOL_SPC_BT2020_NCL}),
    [](const auto& info) { return info.param.name; });

TEST(SourceColoursRefusedTest, CieXyzPicturesAreNotDelivered) {
  ovc::test::TempWorld world;
  const std::string path = world.Path("xyz.mkv");
  ASSERT_EQ(WriteSceneClip(path, {"Xyz", 10, AVCOL_TRC_SMPTE428, AVCOL_PRI_SMPTE428,
                                  AVCOL_SPC_BT709}),
            "");
  const FirstPicture picture = PlayFirstPicture(path);
  EXPECT_FALSE(picture.connected);
}

// A picture too large for one pass goes through in bands: a PQ picture
// whose colour changes a little from line to line comes out changing as
// smoothly across the bands' joins as anywhere else.
TEST(ColourConverterTest, BandsJoinWithoutSeams) {
  constexpr int kBandedWidth = 4096;
  constexpr int kBandedHeight = 600;
  ASSERT_LT(ColourConverter::kBandPixels / kBandedWidth + 32, kBandedHeight / 2);
  const SourceKind pq{"", 10, AVCOL_TRC_SMPTE2084, AVCOL_PRI_BT2020, AVCOL_SPC_BT2020_NCL};
  av::FramePtr frame(av_frame_alloc());
  frame->format = AV_PIX_FMT_YUV420P10;
  frame->width = kBandedWidth;
  frame->height = kBandedHeight;
  frame->color_trc = pq.transfer;
  frame->color_primaries = pq.primaries;
  frame->colorspace = pq.matrix;
  frame->color_range = AVCOL_RANGE_MPEG;
  ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
  for (int y = 0; y < kBandedHeight; ++y) {
    const double t = static_cast<double>(y) / kBandedHeight;
    const std::array<int, 3> codes =
        Codes(pq, Encode(pq, {0.2 + 0.8 * t, 0.2 + 0.5 * t, 0.6 - 0.4 * t}));
    for (int x = 0; x < kBandedWidth; ++x) {
      SetSample(*frame, 0, x, y, codes[0]);
      if (x % 2 == 0 && y % 2 == 0) {
        SetSample(*frame, 1, x / 2, y / 2, codes[1]);
        SetSample(*frame, 2, x / 2, y / 2, codes[2]);
      }
    }
  }
  std::unique_ptr<ColourConverter> converter =
      ColourConverter::Create(*frame, ColourFacts::Of(*frame));
  ASSERT_NE(converter, nullptr);
  const AVFrame* out = converter->Convert(*frame);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(out->format, AV_PIX_FMT_YUV420P);
  // Every plane's lines, down the picture: the step from one line to the
  // next never jumps by more than a few codes.
  for (int plane = 0; plane < 3; ++plane) {
    const int lines = plane == 0 ? kBandedHeight : kBandedHeight / 2;
    int previous = -1;
    for (int y = 0; y < lines; ++y) {
      const int value = out->data[plane][static_cast<ptrdiff_t>(y) * out->linesize[plane] + 7];
      if (previous >= 0) {
        EXPECT_LE(std::abs(value - previous), 3) << "plane " << plane << " line " << y;
      }
      previous = value;
    }
  }
}

}  // namespace
}  // namespace ovc::media::test
