#include "vfw_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/registry/registry_store.h"
#include "platform/vfw/av_handles.h"
#include "support/i420_picture.h"

namespace ovc::vfw::test {
namespace {

uint8_t Clamp(double value) {
  return static_cast<uint8_t>(std::lround(std::fmin(235.0, std::fmax(16.0, value))));
}

}  // namespace

std::string FourCCText(FourCC code) {
  return {static_cast<char>(code), static_cast<char>(code >> 8), static_cast<char>(code >> 16),
          static_cast<char>(code >> 24)};
}

std::vector<uint8_t> MakeYuy2Frame(int width, int height, int index, bool detail) {
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 2);
  const int box_x = (index * 3) % (width - 24);
  const int box_y = (index * 2) % (height - 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; x += 2) {
      uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 2];
      for (int i = 0; i < 2; ++i) {
        double luma = 128 + 50 * std::sin((x + i + 2.0 * index) / 11.0) *
                                std::cos((y - 1.5 * index) / 15.0);
        if (detail) luma += 30 * std::sin((x + i) * 1.9 + index * 0.7) * std::sin(y * 2.3 - index);
        bool in_box = x + i >= box_x && x + i < box_x + 24 && y >= box_y && y < box_y + 24;
        p[i * 2] = in_box ? 210 : Clamp(luma);
      }
      p[1] = Clamp(128 + 40 * std::sin((x + index) / 23.0));
      p[3] = Clamp(128 + 40 * std::cos((y + index) / 19.0));
    }
  }
  return frame;
}

std::vector<CompressedFrame> CompressPattern(FourCC handler, const SequenceOptions& options) {
  std::vector<CompressedFrame> out;
  Hic hic = ICOpen(kTypeVideo, handler, kIcModeCompress);
  EXPECT_NE(hic, nullptr);
  if (hic == nullptr) return out;
  const BitmapInfoHeader in = options.i420 ? I420Header(options.width, options.height)
                                           : Yuy2Header(options.width, options.height);
  EXPECT_EQ(ICCompressQuery(hic, &in, nullptr), kIcErrOk);
  std::vector<uint8_t> state(static_cast<size_t>(ICGetStateSize(hic)));
  const int state_size = static_cast<int>(state.size());
  EXPECT_EQ(ICGetState(hic, state.data(), state_size), state_size);
  EXPECT_EQ(ICSetState(hic, state.data(), state_size), state_size);
  CompressFrames info;
  info.quality = options.quality;
  info.data_rate = options.data_rate;
  info.key_rate = 15;
  info.rate = options.fps;
  EXPECT_EQ(ICCompressFramesInfo(hic, info), kIcErrOk);

  CompVars vars;
  vars.hic = hic;
  vars.handler = handler;
  vars.key_frame_rate = 15;
  vars.data_rate = options.vars_data_rate;
  if (ICSeqCompressFrameStart(&vars, in)) {
    for (int i = 0; i < options.frames; ++i) {
      std::vector<uint8_t> picture =
          MakeYuy2Frame(options.width, options.height, i, i >= options.detail_from);
      if (options.i420) picture = ovc::test::I420FromYuy2(picture, options.width, options.height);
      bool key = false;
      int32_t size = -1;
      const auto* data =
          static_cast<const uint8_t*>(ICSeqCompressFrame(&vars, 0, picture.data(), &key, &size));
      if (data == nullptr) {
        ADD_FAILURE() << "frame " << i << " did not compress";
        break;
      }
      out.push_back({std::vector<uint8_t>(data, data + size), key});
    }
  } else {
    ADD_FAILURE() << "sequence did not start";
  }
  ICSeqCompressFrameEnd(&vars);
  EXPECT_EQ(ICClose(hic), kIcErrOk);
  return out;
}

std::vector<std::vector<uint8_t>> DecodeToYuy2(FourCC handler, int width, int height,
                                               const std::vector<CompressedFrame>& frames) {
  std::vector<std::vector<uint8_t>> pictures;
  const AVCodec* codec =
      avcodec_find_decoder(handler == kHandlerMjpg ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_MPEG4);
  CodecContextPtr context(avcodec_alloc_context3(codec));
  FramePtr frame(av_frame_alloc());
  PacketPtr packet(av_packet_alloc());
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return pictures;

  auto take_frames = [&] {
    while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
      // JPEG pictures come full range; YUY2 is video range.
      auto format = static_cast<AVPixelFormat>(frame->format);
      bool full_range = format == AV_PIX_FMT_YUVJ422P;
      if (full_range) format = AV_PIX_FMT_YUV422P;
      SwsContextPtr converter(sws_getContext(width, height, format, width, height,
                                             AV_PIX_FMT_YUYV422, SWS_BILINEAR, nullptr, nullptr,
                                             nullptr));
      const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
      sws_setColorspaceDetails(converter.get(), bt601, full_range, bt601, 0, 0, 1 << 16, 1 << 16);
      // swscale may write a little past the last row's end.
      const size_t picture_bytes = static_cast<size_t>(width) * height * 2;
      std::vector<uint8_t> picture(picture_bytes + 64);
      uint8_t* planes[4] = {picture.data(), nullptr, nullptr, nullptr};
      int strides[4] = {width * 2, 0, 0, 0};
      sws_scale(converter.get(), frame->data, frame->linesize, 0, height, planes, strides);
      picture.resize(picture_bytes);
      pictures.push_back(std::move(picture));
    }
  };
  for (const CompressedFrame& compressed : frames) {
    if (compressed.bytes.empty()) continue;  // an empty packet would end the stream
    av_new_packet(packet.get(), static_cast<int>(compressed.bytes.size()));
    std::copy(compressed.bytes.begin(), compressed.bytes.end(), packet->data);
    avcodec_send_packet(context.get(), packet.get());
    av_packet_unref(packet.get());
    take_frames();
  }
  avcodec_send_packet(context.get(), nullptr);
  take_frames();
  return pictures;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double squared = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    double d = static_cast<double>(a[i]) - b[i];
    squared += d * d;
  }
  double mse = squared / static_cast<double>(a.size());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

int64_t TotalBytes(const std::vector<CompressedFrame>& frames) {
  int64_t total = 0;
  for (const CompressedFrame& frame : frames) total += static_cast<int64_t>(frame.bytes.size());
  return total;
}

double KbitPerSecond(const std::vector<CompressedFrame>& frames, uint32_t fps) {
  double seconds = static_cast<double>(frames.size()) / fps;
  return static_cast<double>(TotalBytes(frames)) * 8 / 1000 / seconds;
}

void WritePassMode(FourCC handler, uint32_t value) {
  const char* name = handler == kHandlerXvid ? "mode" : "VBR Mode";
  ASSERT_EQ(registry::DefaultStore()->SetValue(registry::Hive::kCurrentUser,
                                               CompressorRegistryKey(handler), name,
                                               registry::DwordValue(value)),
            registry::kSuccess);
}

}  // namespace ovc::vfw::test
