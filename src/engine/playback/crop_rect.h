#pragma once

namespace ovc {

// The part of the input picture that is converted, as fractions of its width
// and height; (0, 0, 1, 1) is the whole picture. The main window owns it.
struct CropRect {
  double left = 0;
  double top = 0;
  double bottom = 1;
  double right = 1;

  bool IsWholePicture() const { return left == 0 && top == 0 && bottom == 1 && right == 1; }
};

}  // namespace ovc
