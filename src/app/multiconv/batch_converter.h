#pragma once

#include <atomic>
#include <iosfwd>

#include "app/multiconv/batch_options.h"

namespace ovc {

// The batch converter: the main window's workflow without a screen, one
// input after the other (open, apply the profile, Convert, wait for the
// end). Finished output paths go to `out`, one per line (every split part);
// progress and every message the program shows go to `err`. Setting
// `interrupt` stops the running conversion as "Pause/Stop" does, keeping a
// playable file, and skips the inputs not yet started.
//
// Returns the exit status: 0 when every input converted, 1 when any failed
// or the run was interrupted.
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err,
             const std::atomic<bool>* interrupt);

}  // namespace ovc
