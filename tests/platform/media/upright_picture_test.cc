// Turning pictures upright and blending the fields of interlaced ones.

#include "platform/media/upright_picture.h"

#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ovc::media
