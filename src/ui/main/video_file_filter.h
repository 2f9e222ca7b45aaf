#pragma once

namespace ovc {

// The first choice of every dialog that opens videos: the extensions of the
// video files FFmpeg reads that people have, as the workflow writes filters
// ("Description|*.a;*.b"). The main window and the batch window share it.
inline constexpr char kVideoFilesFilter[] =
    "Video files|*.mp4;*.m4v;*.mkv;*.mov;*.webm;*.avi;*.divx;*.wmv;*.asf;*.flv;*.mpg;*.mpeg;"
    "*.vob;*.ts;*.m2ts;*.mts;*.3gp;*.3g2;*.ogv;*.dv;*.rm;*.rmvb;*.dat";

}  // namespace ovc
