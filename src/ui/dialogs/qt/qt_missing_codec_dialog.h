#pragma once

#include <QDialog>

#include <string>

#include "engine/record/avi_output.h"
#include "platform/shell/shell.h"

namespace ovc {

// Texts of the missing-codec prompt.
namespace missing_codec_text {
inline constexpr char kCaption[] = "Video Codec for compression not found";
inline constexpr char kInstall[] = "Install recommended codec:";
inline constexpr char kCodecLink[] = "Xvid Codec 1.0 Final";
inline constexpr char kMoreCodecs[] = "More codecs:";
inline constexpr char kMoreCodecsLink[] = "click here";
inline constexpr char kClose[] = "Close";
}  // namespace missing_codec_text

// The vendor's page that lists further codecs ("More codecs:").
inline constexpr char kCodecListUrl[] = "https://www.orvane.com/codecs/list/";

// The result every button of the prompt gives.
inline constexpr int kMissingCodecResult = 1;

// "Video Codec for compression not found": shown modally when the AVI video
// compressor cannot be opened. Its two links hide the prompt and open the
// vendor's codec download page (kCodecDownloadUrl) or the list of codecs
// (kCodecListUrl) with the shell; "Close" only hides it. Created once. The
// link buttons are "CodecLink" and "MoreCodecsLink", the close button
// "CloseBtn".
class QtMissingCodecDialog : public QDialog, public MissingCodecPrompt {
  Q_OBJECT

 public:
  // `shell` must outlive the dialog. Create on the user interface thread.
  QtMissingCodecDialog(Shell* shell, QWidget* parent);

  // Blocks until a button closes the prompt. Safe from any thread: called
  // elsewhere, the prompt is shown on the user interface thread without
  // holding it (see ShowDialogForOtherThread); when it is up already, the
  // call returns at once. Without an application object it returns at once.
  void Show() override;

 private:
  void OpenPage(const char* url);

  Shell* shell_;
};

}  // namespace ovc
