#include "ui/main/conversion_shortfall.h"

#include <cmath>
#include <cstdint>

#include "ui/main/time_text.h"

namespace ovc {

std::string ConversionShortfallText(double converted_seconds, double range_seconds) {
  if (!std::isfinite(range_seconds) || range_seconds <= 0) return "";
  const double converted = std::isfinite(converted_seconds) && converted_seconds > 0
                               ? converted_seconds
                               : 0.0;
  if (range_seconds - converted <= kShortfallTolerance) return "";
  return "converted " + FormatHms(static_cast<int64_t>(converted)) + " of " +
         FormatHms(static_cast<int64_t>(range_seconds)) +
         "; the rest of the source could not be read";
}

}  // namespace ovc
