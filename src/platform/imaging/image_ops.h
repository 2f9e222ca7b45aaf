#pragma once

#include <cstdint>

namespace ovc {

// Picture operations on 8-bit planes and packed pictures.
//
// Planar 4:2:2 pictures have a Y plane of width × height and U and V planes
// of width/2 × height (full height, half width); planar 4:2:0 ones halve
// the chroma height too. Packed YUY2 holds two pixels in four bytes: Y0 U
// Y1 V. Every
// stride is in bytes. Each function keeps the argument order its callers
// were written against and returns 0 on success or -1 when an argument is
// unusable (null pointers, sizes below one pixel, a stride shorter than a
// line, a region outside its plane); on -1 nothing has been written.

// Bytes that libswscale's vector code may read (and write) past the last
// byte of a picture's last line. Every buffer a scaler reads from or writes
// to must own this much beyond its picture; FFmpeg's own frame buffers do.
constexpr int kScalerSlack = 64;

// Splits a packed YUY2 picture into its Y, U and V planes. `width` counts
// pixels; an odd last pixel gives its Y only.
int SplitYuy2ToPlanes(const uint8_t* packed, int packed_stride, uint8_t* const planes[3],
                      const int plane_strides[3], int width, int height);

// Joins Y, U and V planes into a packed YUY2 picture of `width` (even) ×
// `height` pixels.
int JoinPlanesToYuy2(const uint8_t* const planes[3], const int plane_strides[3], uint8_t* packed,
                     int packed_stride, int width, int height);

// Scaling filters of CropScalePlane.
enum ScaleFilter : int { kScalePoint = 0, kScaleBilinear = 1, kScaleBicubic = 2 };

// Crops the region (crop_x, crop_y, crop_width, crop_height) out of a source
// plane and scales it to fill destination_width × destination_height. The
// factors are destination size ÷ crop size; the sizes decide the scaling, the
// factors must be positive. The region must lie inside the source.
int CropScalePlane(const uint8_t* source, int source_width, int source_height, int source_stride,
                   int crop_x, int crop_y, int crop_width, int crop_height, uint8_t* destination,
                   int destination_stride, int destination_width, int destination_height,
                   double horizontal_factor, double vertical_factor, int filter);

// Crops the region (crop_x, crop_y, crop_width, crop_height) out of a packed
// YUY2 picture and scales it, in one step, into 4:2:0 Y, U and V planes of
// destination_width (even) × destination_height: U and V of
// destination_width/2 × (destination_height+1)/2. crop_x and crop_width are
// even, so the region starts and ends on a whole pixel pair; the region
// must lie inside the picture.
int CropScaleYuy2ToI420(const uint8_t* packed, int width, int height, int packed_stride,
                        int crop_x, int crop_y, int crop_width, int crop_height,
                        uint8_t* const planes[3], const int plane_strides[3],
                        int destination_width, int destination_height, int filter);

// The same from a 4:2:0 picture (Y of width × height, U and V of width/2 ×
// (height+1)/2): crop_x, crop_width and crop_y are even, so the region
// starts on a chroma sample. Same sizes copy the planes.
int CropScaleI420ToI420(const uint8_t* const source[3], const int source_strides[3], int width,
                        int height, int crop_x, int crop_y, int crop_width, int crop_height,
                        uint8_t* const planes[3], const int plane_strides[3],
                        int destination_width, int destination_height, int filter);

// Multiplies every luma value by gain ÷ 2^fraction_bits, rounding to the
// nearest value and saturating at 0 and 255. A negative gain gives 0.
int ScaleLuma(int gain, uint8_t* plane, int width, int stride, int height, int fraction_bits);

// Adds a signed offset (the byte is read as -128..127) to every luma value,
// saturating at 0 and 255. `reserved` is 0.
int OffsetLuma(uint8_t offset, uint8_t* plane, int width, int stride, int height, int reserved);

// Converts 4:2:2 Y, U, V planes (BT.601, video range 16..235) to a 24-bit
// picture with bytes in the order R, G, B.
int PlanesToRgb24(const uint8_t* const planes[3], const int plane_strides[3], uint8_t* rgb,
                  int rgb_stride, int width, int height);

// Reorders the three bytes of every pixel of a 24-bit picture in place: the
// new byte i is the old byte order[i]. {2, 1, 0} swaps R and B.
int ReorderChannels(uint8_t* picture, int stride, int width, int height, const int order[3]);

}  // namespace ovc
