#include "transfer/thumbnail.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "common/trace.h"
#include "platform/av/av_handles.h"

namespace ovc {

namespace {

// Quantiser scale of the JPEG (2 is near lossless, 31 the coarsest): a
// 160 × 120 picture at 3 takes some 5 to 10 KB.
constexpr int kJpegQuality = 3;
// Larger pictures are not ours to thumbnail.
constexpr int kMaxPictureSide = 16384;

int Fail(const std::string& path, const char* reason) {
  TracePrintf("Fail to write thumbnail %s: %s", path.c_str(), reason);
  return -1;
}

bool HasLower(const std::string& text) {
  for (char c : text)
    if (std::islower(static_cast<unsigned char>(c))) return true;
  return false;
}

bool HasUpper(const std::string& text) {
  for (char c : text)
    if (std::isupper(static_cast<unsigned char>(c))) return true;
  return false;
}

bool HasLetter(const std::string& text) { return HasLower(text) || HasUpper(text); }

int EvenRound(double value) { return static_cast<int>(std::lround(value / 2.0)) * 2; }

// Fills a 4:2:0 full-range picture with black.
void FillBlack(AVFrame* frame) {
  for (int y = 0; y < frame->height; ++y)
    std::memset(frame->data[0] + y * frame->linesize[0], 0, static_cast<size_t>(frame->width));
  for (int plane = 1; plane < 3; ++plane)
    for (int y = 0; y < frame->height / 2; ++y)
      std::memset(frame->data[plane] + y * frame->linesize[plane], 128,
                  static_cast<size_t>(frame->width / 2));
}

av::FramePtr MakeFrame(int width, int height) {
  return av::NewPictureFrame(AV_PIX_FMT_YUV420P, width, height, AVCOL_RANGE_JPEG);
}

// Writes the bytes to a temporary file beside `path` and renames it there.
// Returns nullptr, or what went wrong.
const char* WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temporary = folder + "." + name + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return strerror(errno);
  const char* failure = nullptr;
  size_t written = 0;
  while (written < size && !failure) {
    ssize_t n = write(fd, data + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) failure = n < 0 ? strerror(errno) : "nothing written";
    else written += static_cast<size_t>(n);
  }
  // mkstemp makes the file private; a thumbnail is read by whoever reads the video.
  if (!failure) (void)fchmod(fd, 0644);
  if (close(fd) != 0 && !failure) failure = strerror(errno);
  if (!failure && rename(temporary.c_str(), path.c_str()) != 0) failure = strerror(errno);
  if (failure) unlink(temporary.c_str());
  return failure;
}

}  // namespace

std::string ThumbnailPath(const std::string& output_path) {
  if (output_path.empty() || output_path.back() == '/') return std::string();
  size_t slash = output_path.rfind('/');
  size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = output_path.rfind('.');
  // A leading '.' marks a hidden file, not an extension.
  bool has_extension = dot != std::string::npos && dot > name_start;
  std::string stem = has_extension ? output_path.substr(0, dot) : output_path;
  std::string extension = has_extension ? output_path.substr(dot + 1) : std::string();
  const std::string& judged =
      HasLetter(extension) ? extension : output_path.substr(name_start, stem.size() - name_start);
  bool lower = HasLower(judged) && !HasUpper(judged);
  return stem + (lower ? ".thm" : ".THM");
}

ThumbnailPlacement PlaceThumbnail(int width, int height, double display_aspect) {
  ThumbnailPlacement placement;
  double aspect = display_aspect > 0 ? display_aspect
                  : (width > 0 && height > 0) ? static_cast<double>(width) / height
                                              : 0;
  if (!(aspect > 0) || !std::isfinite(aspect)) return placement;
  const double box = static_cast<double>(kThumbnailWidth) / kThumbnailHeight;
  if (aspect >= box) {
    placement.height = std::clamp(EvenRound(kThumbnailWidth / aspect), 2, kThumbnailHeight);
  } else {
    placement.width = std::clamp(EvenRound(kThumbnailHeight * aspect), 2, kThumbnailWidth);
  }
  placement.x = (kThumbnailWidth - placement.width) / 4 * 2;
  placement.y = (kThumbnailHeight - placement.height) / 4 * 2;
  return placement;
}

int WriteThumbnail(const BgrPicture& picture, const std::string& path, double display_aspect) {
  if (path.empty()) return Fail(path, "no file name");
  if (!picture.bgr || picture.width <= 0 || picture.height <= 0 ||
      picture.width > kMaxPictureSide || picture.height > kMaxPictureSide ||
      std::abs(static_cast<int64_t>(picture.stride)) < 3 * static_cast<int64_t>(picture.width))
    return Fail(path, "no usable picture");

  ThumbnailPlacement place = PlaceThumbnail(picture.width, picture.height, display_aspect);
  av::FramePtr scaled = MakeFrame(place.width, place.height);
  av::FramePtr frame = MakeFrame(kThumbnailWidth, kThumbnailHeight);
  if (!scaled || !frame) return Fail(path, "out of memory");

  av::SwsContextPtr scaler(sws_getContext(picture.width, picture.height, AV_PIX_FMT_BGR24,
                                          place.width, place.height, AV_PIX_FMT_YUV420P,
                                          SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                                          nullptr));
  if (!scaler) return Fail(path, "no scaler");
  // JPEG pictures use the full 0-255 range with BT.601 colours.
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(scaler.get(), bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
  const uint8_t* source[4] = {picture.bgr, nullptr, nullptr, nullptr};
  const int source_stride[4] = {picture.stride, 0, 0, 0};
  if (sws_scale(scaler.get(), source, source_stride, 0, picture.height, scaled->data,
                scaled->linesize) != place.height)
    return Fail(path, "scaling failed");

  FillBlack(frame.get());
  for (int y = 0; y < place.height; ++y)
    std::memcpy(frame->data[0] + (place.y + y) * frame->linesize[0] + place.x,
                scaled->data[0] + y * scaled->linesize[0], static_cast<size_t>(place.width));
  for (int plane = 1; plane < 3; ++plane)
    for (int y = 0; y < place.height / 2; ++y)
      std::memcpy(frame->data[plane] + (place.y / 2 + y) * frame->linesize[plane] + place.x / 2,
                  scaled->data[plane] + y * scaled->linesize[plane],
                  static_cast<size_t>(place.width / 2));

  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (!codec) return Fail(path, "no JPEG encoder");
  av::CodecContextPtr encoder(avcodec_alloc_context3(codec));
  if (!encoder) return Fail(path, "out of memory");
  encoder->width = kThumbnailWidth;
  encoder->height = kThumbnailHeight;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->color_range = AVCOL_RANGE_JPEG;
  encoder->time_base = AVRational{1, 25};
  // A pixel aspect makes the encoder write the JFIF header.
  encoder->sample_aspect_ratio = AVRational{1, 1};
  // Fixed quality; no encoder version comment, so equal pictures give equal files.
  encoder->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_BITEXACT;
  encoder->global_quality = FF_QP2LAMBDA * kJpegQuality;
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) return Fail(path, "encoder refused");
  frame->quality = encoder->global_quality;
  frame->pts = 0;

  av::PacketPtr packet(av_packet_alloc());
  if (!packet) return Fail(path, "out of memory");
  if (avcodec_send_frame(encoder.get(), frame.get()) < 0 ||
      avcodec_send_frame(encoder.get(), nullptr) < 0 ||
      avcodec_receive_packet(encoder.get(), packet.get()) < 0 || packet->size <= 0)
    return Fail(path, "encoding failed");

  if (const char* failure =
          WriteFileAtomically(path, packet->data, static_cast<size_t>(packet->size)))
    return Fail(path, failure);
  return 0;
}

int WriteThumbnail(const Bitmap24& picture, const std::string& path, double display_aspect) {
  BgrPicture view;
  view.width = picture.width;
  view.height = picture.height;
  view.stride = 3 * picture.width;
  // A bitmap whose pixels don't match its size is not a picture to read.
  if (picture.width > 0 && picture.height > 0 &&
      picture.pixels.size() >= static_cast<size_t>(view.stride) * picture.height)
    view.bgr = picture.pixels.data();
  return WriteThumbnail(view, path, display_aspect);
}

}  // namespace ovc
