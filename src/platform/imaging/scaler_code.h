#pragma once

namespace ovc {

// Picks, once for the process, which of libswscale's x86 code the scalers
// use (see scaler_code.cc). Call before any thread creates a scaler or
// opens a codec: it may change the processor flags FFmpeg reads.
void ChooseScalerCode();

}  // namespace ovc
