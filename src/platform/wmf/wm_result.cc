#include "platform/wmf/wm_result.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace ovc::wmf {

HResult HResultFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kEPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kEAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kEDiskFull;
    case ENOMEM:
      return kEOutOfMemory;
    default:
      return kEWriteFault;
  }
}

HResult HResultFromAvError(int av_error, HResult otherwise) {
  // AVERROR(e) is -e for the errno values; FFmpeg's own codes are
  // four-character tags far below that range.
  if (av_error < 0 && av_error > -4096) return HResultFromErrno(-av_error);
  return otherwise;
}

}  // namespace ovc::wmf
