#pragma once

#include <string>

namespace ovc {

// A conversion that ran to the end of its source yet covered less than the
// range it was given (the source's declared length, or the profile's range)
// stopped where the source could no longer be read: cut short or damaged.
// Differences up to kShortfallTolerance are the usual spread between a
// file's declared length and its last picture (sound running on a little
// past the picture, rounding of the last frame).
inline constexpr double kShortfallTolerance = 1.0;  // seconds

// What to tell the user about such a conversion, in whole seconds:
// "converted 0:00:04 of 0:00:10; the rest of the source could not be read".
// "" when `converted_seconds` covers `range_seconds` to within the
// tolerance, or when the range is unknown (0, negative or not finite).
std::string ConversionShortfallText(double converted_seconds, double range_seconds);

}  // namespace ovc
