#include "ui/main/conversion_shortfall.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ovc {
namespace {

struct ShortfallCase {
  double converted;
  double range;
  const char* text;
};

TEST(ConversionShortfallTest, SaysHowMuchOfTheRangeWasConvertedWhenItFellShort) {
  const double kNan = std::nan("");
  const double kInfinity = std::numeric_limits<double>::infinity();
  const ShortfallCase cases[] = {
      {4.96, 10.0, "converted 0:00:04 of 0:00:10; the rest of the source could not be read"},
      {0, 10.0, "converted 0:00:00 of 0:00:10; the rest of the source could not be read"},
      {-2, 10.0, "converted 0:00:00 of 0:00:10; the rest of the source could not be read"},
      {kNan, 10.0, "converted 0:00:00 of 0:00:10; the rest of the source could not be read"},
      {3599.5, 5400.0, "converted 0:59:59 of 1:30:00; the rest of the source could not be read"},
      // Within the tolerance: the usual end of a whole file.
      {9.0, 10.0, ""},
      {9.97, 10.0, ""},
      {10.4, 10.0, ""},
      // The range is unknown.
      {4.0, 0, ""},
      {4.0, kNan, ""},
      {4.0, kInfinity, ""},
  };
  for (const ShortfallCase& c : cases)
    EXPECT_EQ(ConversionShortfallText(c.converted, c.range), c.text)
        << c.converted << " of " << c.range;
}

}  // namespace
}  // namespace ovc
