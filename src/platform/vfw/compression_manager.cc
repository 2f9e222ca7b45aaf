#include "platform/vfw/compression_manager.h"

#include "common/trace.h"
#include "platform/av/i420_frame.h"
#include "platform/registry/registry_store.h"
#include "platform/vfw/compressor.h"
#include "platform/vfw/compressor_table.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace ovc::vfw {

namespace {

BitmapInfoHeader PictureHeader(int width, int height, uint16_t bit_count, FourCC compression,
                               size_t bytes) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.planes = 1;
  header.bit_count = bit_count;
  header.compression = compression;
  header.size_image = static_cast<uint32_t>(bytes);
  return header;
}

}  // namespace

BitmapInfoHeader Yuy2Header(int width, int height) {
  return PictureHeader(width, height, 16, kCompressionYuy2,
                       static_cast<size_t>(static_cast<uint32_t>(width) *
                                           static_cast<uint32_t>(height) * 2));
}

BitmapInfoHeader I420Header(int width, int height) {
  return PictureHeader(width, height, 12, kCompressionI420, av::I420Frame{width, height}.bytes());
}

Hic ICOpen(FourCC type, FourCC handler, uint32_t mode) {
  const bool compresses = mode == kIcModeCompress || mode == kIcModeQuery;
  if (UpperFourCC(type) != UpperFourCC(kTypeVideo) || !compresses) return nullptr;
  const CompressorInfo* info = FindCompressor(handler);
  if (info == nullptr) return nullptr;
  if (avcodec_find_encoder_by_name(info->encoder_name) == nullptr) {
    TracePrintf("vfw: %s is not installed: no %s encoder", info->description, info->encoder_name);
    return nullptr;
  }
  return new Compressor(*info);
}

int ICClose(Hic hic) {
  if (hic == nullptr) return kIcErrBadHandle;
  delete hic;
  return kIcErrOk;
}

int ICCompressQuery(Hic hic, const BitmapInfoHeader* in, const BitmapInfoHeader* out) {
  return hic == nullptr ? kIcErrBadHandle : hic->Query(in, out);
}

int ICGetStateSize(Hic hic) { return hic == nullptr ? kIcErrBadHandle : hic->StateSize(); }

int ICGetState(Hic hic, void* buffer, int size) {
  return hic == nullptr ? kIcErrBadHandle : hic->GetState(buffer, size);
}

int ICSetState(Hic hic, const void* state, int size) {
  return hic == nullptr ? kIcErrBadHandle : hic->SetState(state, size);
}

int ICCompressFramesInfo(Hic hic, const CompressFrames& info) {
  return hic == nullptr ? kIcErrBadHandle : hic->SetFramesInfo(info);
}

bool ICSeqCompressFrameStart(CompVars* vars, const BitmapInfoHeader& in) {
  if (vars == nullptr || vars->hic == nullptr) return false;
  return vars->hic->StartSequence(vars, in);
}

const void* ICSeqCompressFrame(CompVars* vars, uint32_t flags, const void* bits, bool* key,
                               int32_t* size) {
  if (vars == nullptr || vars->hic == nullptr) return nullptr;
  return vars->hic->CompressFrame(vars, flags, bits, key, size);
}

void ICSeqCompressFrameEnd(CompVars* vars) {
  if (vars != nullptr && vars->hic != nullptr) vars->hic->EndSequence();
}

int SetCompressorBitRate(FourCC handler, uint32_t kbps) {
  const CompressorInfo* info = FindCompressor(handler);
  if (info == nullptr) return registry::kInvalidParameter;
  return registry::DefaultStore()->SetValue(registry::Hive::kCurrentUser, info->registry_key,
                                            kBitRateValue, registry::DwordValue(kbps));
}

const char* CompressorRegistryKey(FourCC handler) {
  const CompressorInfo* info = FindCompressor(handler);
  return info == nullptr ? nullptr : info->registry_key;
}

}  // namespace ovc::vfw
