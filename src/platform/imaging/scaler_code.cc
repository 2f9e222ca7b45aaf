#include "platform/imaging/scaler_code.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/cpu.h>
#include <libswscale/swscale.h>
}

#include "common/trace.h"
#include "platform/av/av_handles.h"
#include "platform/imaging/image_ops.h"

namespace ovc {
namespace {

#if defined(__x86_64__) && defined(AV_CPU_FLAG_SLOW_GATHER)

// The best of a few runs of the capture's typical shrink (a 720x480 4:2:0
// picture to 320x214, bicubic) with the code libswscale picks under the
// processor flags now in force, in seconds; 0 when it can't be timed.
double BestShrinkSeconds() {
  constexpr int kWidth = 720, kHeight = 480, kOutWidth = 320, kOutHeight = 214;
  av::SwsContextPtr context(
      sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kOutWidth, kOutHeight,
                     AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                     nullptr));
  if (!context) return 0;
  // Room after both pictures: the scaler reads and writes whole vectors.
  std::vector<uint8_t> in(kWidth * kHeight * 3 / 2 + kScalerSlack),
      out(kOutWidth * kOutHeight * 3 / 2 + kScalerSlack);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 7 + i / 720);
  const uint8_t* source[4] = {in.data(), in.data() + kWidth * kHeight,
                              in.data() + kWidth * kHeight * 5 / 4, nullptr};
  const int source_strides[4] = {kWidth, kWidth / 2, kWidth / 2, 0};
  uint8_t* destination[4] = {out.data(), out.data() + kOutWidth * kOutHeight,
                             out.data() + kOutWidth * kOutHeight * 5 / 4, nullptr};
  const int destination_strides[4] = {kOutWidth, kOutWidth / 2, kOutWidth / 2, 0};
  double best = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    sws_scale(context.get(), source, source_strides, 0, kHeight, destination,
              destination_strides);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (run > 0) best = best == 0 ? seconds : std::min(best, seconds);
  }
  return best;
}

#endif

}  // namespace

// libswscale's AVX2 horizontal filters fetch their source samples with
// gather instructions, which some processors (and virtual machines whose
// host mitigates the gather data leak) run many times slower than the SSE
// code beside them: on a 2-core Xeon a 720x480 → 320x214 bicubic shrink
// took 1.4 ms with them and 0.6 ms without. FFmpeg's "slow gather" flag
// makes libswscale take the other code and changes nothing else; where
// gathers are fast the flag stays off. Both are timed on one picture
// (a few milliseconds), since nothing tells a slow gather from a fast one
// beforehand.
void ChooseScalerCode() {
#if defined(__x86_64__) && defined(AV_CPU_FLAG_SLOW_GATHER)
  const int flags = av_get_cpu_flags();
  if (!(flags & AV_CPU_FLAG_AVX2) || (flags & AV_CPU_FLAG_SLOW_GATHER)) return;
  const double with_gathers = BestShrinkSeconds();
  av_force_cpu_flags(flags | AV_CPU_FLAG_SLOW_GATHER);
  const double without = BestShrinkSeconds();
  if (with_gathers > 0 && without > 0 && without < 0.85 * with_gathers) {
    TracePrintf("Scaler: the AVX2 gathers take %.2f ms a picture, the code without them %.2f ms; "
                "scaling without them",
                1000 * with_gathers, 1000 * without);
    return;
  }
  av_force_cpu_flags(-1);
#endif
}

}  // namespace ovc
