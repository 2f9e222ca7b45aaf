#pragma once

#include <cstdint>

#include "platform/imaging/bitmap24.h"

namespace ovc {

// The paused still picture: converts 4:2:2 planes (Y, U, V, each with a line
// stride equal to `width`) into a bitmap of width × height. An empty bitmap
// when the planes or the size are unusable.
Bitmap24 PlanesToBitmap(const uint8_t* const planes[3], int width, int height);

}  // namespace ovc
