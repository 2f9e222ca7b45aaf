// Turning pictures upright, blending the fields of interlaced ones, and
// camera and phone layouts to 4:2:0 of the video range.

#include "platform/media/upright_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/av/av_handles.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace ovc::media {
namespace {

// A 4x2 picture whose luma values name their position (10 × row + column)
// and whose chroma (2x1) likewise, offset by 100 for V.
struct Labelled {
  std::vector<uint8_t> y{0, 1, 2, 3, 10, 11, 12, 13};
  std::vector<uint8_t> u{50, 51};
  std::vector<uint8_t> v{150, 151};
  PlanarPicture View() {
    PlanarPicture view;
    view.planes[0] = y.data();
    view.planes[1] = u.data();
    view.planes[2] = v.data();
    view.strides[0] = 4;
    view.strides[1] = 2;
    view.strides[2] = 2;
    view.width = 4;
    view.height = 2;
    return view;
  }
};

// A width × height picture whose every sample is label(plane, x, y).
template <typename Label>
I420Buffer LabelledPicture(int width, int height, Label label) {
  I420Buffer picture;
  picture.Resize(width, height);
  for (int i = 0; i < 3; ++i)
    for (int y = 0; y < (i == 0 ? height : height / 2); ++y)
      for (int x = 0; x < (i == 0 ? width : width / 2); ++x)
        picture.plane(i)[y * picture.stride(i) + x] = label(i, x, y);
  return picture;
}

struct TurnCase {
  int degrees;
  int width;
  int height;
  std::vector<uint8_t> luma;  // row by row
  std::vector<uint8_t> u;
};
void PrintTo(const TurnCase& c, std::ostream* os) { *os << c.degrees << " degrees"; }

const TurnCase kTurns[] = {
    {0, 4, 2, {0, 1, 2, 3, 10, 11, 12, 13}, {50, 51}},
    // Clockwise: the left edge goes to the top.
    {90, 2, 4, {10, 0, 11, 1, 12, 2, 13, 3}, {50, 51}},
    {180, 4, 2, {13, 12, 11, 10, 3, 2, 1, 0}, {51, 50}},
    // The right edge goes to the top.
    {270, 2, 4, {3, 13, 2, 12, 1, 11, 0, 10}, {51, 50}},
};

class RotateTest : public testing::TestWithParam<TurnCase> {};

TEST_P(RotateTest, MovesEveryPixelWhereTheTurnPutsIt) {
  const TurnCase& c = GetParam();
  Labelled source;
  I420Buffer out;
  RotateI420(source.View(), c.degrees, &out);
  ASSERT_EQ(out.width(), c.width);
  ASSERT_EQ(out.height(), c.height);
  std::vector<uint8_t> luma(out.plane(0), out.plane(0) + c.width * c.height);
  EXPECT_EQ(luma, c.luma);
  std::vector<uint8_t> u(out.plane(1), out.plane(1) + c.u.size());
  EXPECT_EQ(u, c.u);
  std::vector<uint8_t> v(out.plane(2), out.plane(2) + c.u.size());
  for (uint8_t& value : u) value = static_cast<uint8_t>(value + 100);
  EXPECT_EQ(v, u);
}

INSTANTIATE_TEST_SUITE_P(Turns, RotateTest, testing::ValuesIn(kTurns));

TEST(RotateTest, TurnsPicturesOfWholeBlocksAndOfPartBlocksAlike) {
  // 36x20: luma and chroma both have whole 8x8 blocks and lines and
  // columns left over; every sample names its place.
  const int width = 36, height = 20;
  auto label = [](int plane, int x, int y) {
    return static_cast<uint8_t>((plane * 89 + x * 7 + y * 31) % 251);
  };
  I420Buffer source = LabelledPicture(width, height, label);
  for (const int degrees : {90, 180, 270}) {
    I420Buffer out;
    RotateI420(source.View(), degrees, &out);
    const bool sideways = degrees != 180;
    ASSERT_EQ(out.width(), sideways ? height : width);
    ASSERT_EQ(out.height(), sideways ? width : height);
    int misplaced = 0;
    for (int i = 0; i < 3; ++i) {
      const int w = i == 0 ? width : width / 2;
      const int h = i == 0 ? height : height / 2;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          // Where (x, y) goes, by what each turn means.
          const int out_x = degrees == 90 ? h - 1 - y : degrees == 180 ? w - 1 - x : y;
          const int out_y = degrees == 90 ? x : degrees == 180 ? h - 1 - y : w - 1 - x;
          misplaced += out.plane(i)[out_y * out.stride(i) + out_x] != label(i, x, y);
        }
      }
    }
    EXPECT_EQ(misplaced, 0) << degrees << " degrees";

    // A full-range picture comes out as turning the narrowed one.
    const av::FramePtr frame = av::NewPictureFrame(AV_PIX_FMT_YUVJ420P, width, height);
    ASSERT_NE(frame, nullptr);
    for (int i = 0; i < 3; ++i)
      for (int y = 0; y < (i == 0 ? height : height / 2); ++y)
        std::copy_n(source.plane(i) + y * source.stride(i), i == 0 ? width : width / 2,
                    frame->data[i] + y * frame->linesize[i]);
    I420Buffer narrowed, expected, turned;
    ASSERT_TRUE(ToVideoRangeI420(*frame, &narrowed));
    RotateI420(narrowed.View(), degrees, &expected);
    RotateI420(source.View(), degrees, &turned, true);
    for (int i = 0; i < 3; ++i) {
      const size_t samples =
          static_cast<size_t>(turned.stride(i)) * (i == 0 ? turned.height() : turned.height() / 2);
      EXPECT_TRUE(std::equal(turned.plane(i), turned.plane(i) + samples, expected.plane(i)))
          << degrees << " degrees, plane " << i;
    }
  }
}

TEST(HalveTest, EverySampleIsTheRoundedMeanOfTheFourItStandsFor) {
  // 72x20: the halved lines have whole runs of sixteen and samples left
  // over, luma and chroma alike.
  const int width = 72, height = 20;
  auto label = [](int plane, int x, int y) {
    return static_cast<uint8_t>((plane * 53 + x * x * 7 + y * 61) % 256);
  };
  I420Buffer source = LabelledPicture(width, height, label);
  I420Buffer out;
  ASSERT_TRUE(HalveI420(source.View(), &out));
  ASSERT_EQ(out.width(), width / 2);
  ASSERT_EQ(out.height(), height / 2);
  int wrong = 0;
  for (int i = 0; i < 3; ++i) {
    for (int y = 0; y < (i == 0 ? height : height / 2) / 2; ++y) {
      for (int x = 0; x < (i == 0 ? width : width / 2) / 2; ++x) {
        const int sum = label(i, 2 * x, 2 * y) + label(i, 2 * x + 1, 2 * y) +
                        label(i, 2 * x, 2 * y + 1) + label(i, 2 * x + 1, 2 * y + 1);
        wrong += out.plane(i)[y * out.stride(i) + x] != (sum + 2) / 4;
      }
    }
  }
  EXPECT_EQ(wrong, 0);

  // Sizes whose halves would be odd are refused, the shape kept exact.
  for (const auto& [w, h] : {std::pair{70, 20}, std::pair{72, 18}, std::pair{2, 2}}) {
    I420Buffer odd;
    odd.Resize(w, h);
    EXPECT_FALSE(HalveI420(odd.View(), &out)) << w << "x" << h;
    EXPECT_EQ(out.width(), width / 2);
  }
}

// Fills a width × height picture: luma by `luma(x, y)`, chroma neutral.
template <typename Luma>
void Fill(I420Buffer* picture, int width, int height, Luma luma) {
  picture->Resize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture->plane(0)[y * picture->stride(0) + x] = luma(x, y);
  for (int i = 1; i < 3; ++i)
    std::fill_n(picture->plane(i), picture->stride(i) * height / 2, 128);
}

TEST(BlendFieldsTest, CombsOfTwoMomentsBecomeOneEvenEdge) {
  // A bar that moved between the fields: at x 4..7 in the even lines,
  // x 8..11 in the odd ones.
  I420Buffer picture;
  Fill(&picture, 16, 8, [](int x, int y) {
    const int from = y % 2 == 0 ? 4 : 8;
    return static_cast<uint8_t>(x >= from && x < from + 4 ? 235 : 16);
  });
  BlendFields(&picture);
  // Every line now shows both positions alike: no line differs from the
  // next by more than the rounding.
  for (int y = 0; y + 1 < 8; ++y)
    for (int x = 0; x < 16; ++x)
      EXPECT_LE(std::abs(picture.plane(0)[y * 16 + x] - picture.plane(0)[(y + 1) * 16 + x]), 1)
          << "x " << x << " y " << y;
}

TEST(BlendFieldsTest, LeavesWhatIsTheSameInBothFieldsAlone) {
  I420Buffer picture;
  auto luma = [](int x, int) { return static_cast<uint8_t>(x < 8 ? 16 : 235); };
  Fill(&picture, 16, 8, luma);
  BlendFields(&picture);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(picture.plane(0)[y * 16 + x], luma(x, y));
  for (int i = 1; i < 3; ++i)
    for (int k = 0; k < 8 * 4; ++k) EXPECT_EQ(picture.plane(i)[k], 128);
}

struct LayoutCase {
  const char* name;
  AVPixelFormat format;
  AVColorRange range;
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

const LayoutCase kLayouts[] = {
    {"Jpeg420", AV_PIX_FMT_YUVJ420P, AVCOL_RANGE_JPEG},
    {"Jpeg422", AV_PIX_FMT_YUVJ422P, AVCOL_RANGE_JPEG},
    {"Video422", AV_PIX_FMT_YUV422P, AVCOL_RANGE_MPEG},
    // A phone's full-range 4:2:0 that only the frame's range flag tells.
    {"FlaggedFull420", AV_PIX_FMT_YUV420P, AVCOL_RANGE_JPEG},
};

class VideoRangeTest : public testing::TestWithParam<LayoutCase> {};

// What libswscale makes of the frame: 4:2:0 of the video range. It knows a
// full range by the "j" formats only.
I420Buffer ConvertedByLibswscale(const AVFrame& frame, bool full_range) {
  AVPixelFormat format = static_cast<AVPixelFormat>(frame.format);
  if (full_range && format == AV_PIX_FMT_YUV420P) format = AV_PIX_FMT_YUVJ420P;
  I420Buffer out;
  out.Resize(frame.width, frame.height);
  SwsContext* context = sws_getContext(frame.width, frame.height, format, frame.width,
                                       frame.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                       nullptr, nullptr);
  uint8_t* planes[4] = {out.plane(0), out.plane(1), out.plane(2), nullptr};
  const int strides[4] = {out.stride(0), out.stride(1), out.stride(2), 0};
  sws_scale(context, frame.data, frame.linesize, 0, frame.height, planes, strides);
  sws_freeContext(context);
  return out;
}

TEST_P(VideoRangeTest, MatchesLibswscaleWithoutIt) {
  const LayoutCase& c = GetParam();
  // 52 wide: the vector steps and the sample by sample rest both run.
  const int width = 52, height = 32;
  const av::FramePtr frame = av::NewPictureFrame(c.format, width, height, c.range);
  ASSERT_NE(frame, nullptr);
  const bool tall_chroma = c.format == AV_PIX_FMT_YUV422P || c.format == AV_PIX_FMT_YUVJ422P;
  // Luma takes every value from 0 to 255; chroma changes sharply across
  // and evenly down (two levels a 4:2:2 line), where every filter agrees on
  // what lies between lines.
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>((x * 13 + y * 29) % 256);
  for (int i = 1; i < 3; ++i)
    for (int y = 0; y < (tall_chroma ? height : height / 2); ++y)
      for (int x = 0; x < width / 2; ++x)
        frame->data[i][y * frame->linesize[i] + x] =
            static_cast<uint8_t>((x * 37 + 80 * i) % 190 + (tall_chroma ? 2 * y : 4 * y));

  I420Buffer ours;
  ASSERT_TRUE(ToVideoRangeI420(*frame, &ours));
  I420Buffer reference = ConvertedByLibswscale(*frame, c.range == AVCOL_RANGE_JPEG);
  ASSERT_EQ(ours.width(), width);
  ASSERT_EQ(ours.height(), height);
  for (int i = 0; i < 3; ++i) {
    const int plane_width = i == 0 ? width : width / 2;
    const int plane_height = i == 0 ? height : height / 2;
    int worst = 0, differing = 0, compared = 0;
    // libswscale's filters reach past the edge lines, where they guess.
    for (int y = 1; y + 1 < plane_height; ++y) {
      for (int x = 0; x < plane_width; ++x) {
        const int difference = std::abs(ours.plane(i)[y * ours.stride(i) + x] -
                                        reference.plane(i)[y * ours.stride(i) + x]);
        worst = std::max(worst, difference);
        differing += difference != 0;
        ++compared;
      }
    }
    // Both round, now and then the other way.
    EXPECT_LE(worst, 1) << "plane " << i;
    EXPECT_LE(differing, compared / 8) << "plane " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, VideoRangeTest, testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VideoRangeTest, TenBitPicturesKeepTheLevelsBetweenEightBitSteps) {
  // Flat pictures a quarter step apart: dithered, each keeps its level on
  // average, no sample further than a step from it. 4:2:2 chroma lines
  // alternate two steps apart, so the 4:2:0 line is their mean.
  const int width = 48, height = 32;
  for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV422P10LE}) {
    const bool tall_chroma = format == AV_PIX_FMT_YUV422P10LE;
    for (int quarter = 0; quarter < 4; ++quarter) {
      SCOPED_TRACE(std::string(av_get_pix_fmt_name(format)) + " +" + std::to_string(quarter));
      const av::FramePtr frame = av::NewPictureFrame(format, width, height);
      ASSERT_NE(frame, nullptr);
      for (int i = 0; i < 3; ++i) {
        for (int y = 0; y < (i == 0 || tall_chroma ? height : height / 2); ++y) {
          auto* line = reinterpret_cast<uint16_t*>(frame->data[i] + y * frame->linesize[i]);
          const int level = i == 0 ? 512 : tall_chroma ? 400 + 2 * (y % 2) : 401;
          std::fill_n(line, i == 0 ? width : width / 2, level + quarter);
        }
      }
      I420Buffer out;
      ASSERT_TRUE(ToVideoRangeI420(*frame, &out));
      for (int i = 0; i < 3; ++i) {
        const double level = (i == 0 ? 512 + quarter : 401 + quarter) / 4.0;
        const int plane_width = i == 0 ? width : width / 2;
        const int plane_height = i == 0 ? height : height / 2;
        double sum = 0;
        double farthest = 0;
        for (int y = 0; y < plane_height; ++y) {
          for (int x = 0; x < plane_width; ++x) {
            const int sample = out.plane(i)[y * out.stride(i) + x];
            sum += sample;
            farthest = std::max(farthest, std::abs(sample - level));
          }
        }
        EXPECT_NEAR(sum / (plane_width * plane_height), level, 0.05) << "plane " << i;
        EXPECT_LT(farthest, 1.0) << "plane " << i;
      }
    }
  }
}

TEST(VideoRangeTest, LeavesOtherLayoutsAndOddSizesToLibswscale) {
  const struct {
    AVPixelFormat format;
    int width, height;
  } kOthers[] = {{AV_PIX_FMT_YUV444P, 16, 16}, {AV_PIX_FMT_NV12, 16, 16},
                 {AV_PIX_FMT_YUVJ422P, 15, 16}, {AV_PIX_FMT_YUVJ420P, 16, 9}};
  for (const auto& other : kOthers) {
    const av::FramePtr frame = av::NewPictureFrame(other.format, other.width, other.height);
    ASSERT_NE(frame, nullptr);
    I420Buffer out;
    EXPECT_FALSE(ToVideoRangeI420(*frame, &out)) << av_get_pix_fmt_name(other.format);
    EXPECT_EQ(out.width(), 0);
  }
}

}  // namespace
}  // namespace ovc::media
