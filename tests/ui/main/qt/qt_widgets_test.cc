// The widgets the main window is built from: the range bar, the value-list
// editor, the guide banner and the status label.

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "engine/playback/guide.h"
#include "support/qt/qt_test_harness.h"
#include "ui/main/qt/eliding_label.h"
#include "ui/main/qt/guide_banner.h"
#include "ui/main/qt/range_bar.h"
#include "ui/main/qt/value_list_editor.h"

namespace ovc {
namespace {

TEST(RangeBarTest, ThumbsSitWhereTheRangeLabelsAreMeasuredFrom) {
  RangeBar bar;
  bar.resize(318, 22);
  bar.SetMaximum(100);
  // p × (width − 18) / maximum + 9.
  EXPECT_EQ(bar.ThumbCentre(0), 9);
  EXPECT_EQ(bar.ThumbCentre(50), 50 * 300 / 100 + 9);
  EXPECT_EQ(bar.ThumbCentre(100), 309);
  for (int p : {0, 1, 33, 50, 99, 100}) EXPECT_EQ(bar.PositionAt(bar.ThumbCentre(p)), p) << p;
  EXPECT_EQ(bar.PositionAt(-50), 0);
  EXPECT_EQ(bar.PositionAt(1000), 100);
}

TEST(RangeBarTest, ProgramMovesAreSilentAndKeptInRange) {
  RangeBar bar;
  QSignalSpy changed(&bar, &RangeBar::lowChanged);
  bar.SetMaximum(10);
  bar.SetLow(4);
  bar.SetHigh(20);
  EXPECT_EQ(bar.low(), 4);
  EXPECT_EQ(bar.high(), 10);
  bar.SetMaximum(3);
  EXPECT_EQ(bar.low(), 3);
  EXPECT_EQ(changed.count(), 0);
}

TEST(RangeBarTest, ADragReportsPressMovesAndRelease) {
  RangeBar bar;
  bar.resize(218, 22);
  bar.SetMaximum(200);
  bar.show();
  std::vector<std::string> events;
  QObject::connect(&bar, &RangeBar::pressed, [&] { events.push_back("down"); });
  QObject::connect(&bar, &RangeBar::lowChanged,
                   [&](int s) { events.push_back("low " + std::to_string(s)); });
  QObject::connect(&bar, &RangeBar::released, [&] { events.push_back("up"); });

  const int y = bar.height() / 2;
  QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(bar.ThumbCentre(0), y));
  QTest::mouseMove(&bar, QPoint(bar.ThumbCentre(50), y));
  QTest::mouseMove(&bar, QPoint(bar.ThumbCentre(100), y));
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(bar.ThumbCentre(100), y));
  EXPECT_EQ(events, (std::vector<std::string>{"down", "low 50", "low 100", "up"}));
  EXPECT_EQ(bar.low(), 100);

  // A key is a press, a move and a release in one; at the end nothing moves.
  events.clear();
  QTest::keyClick(&bar, Qt::Key_Right);
  QTest::keyClick(&bar, Qt::Key_PageDown);
  QTest::keyClick(&bar, Qt::Key_End);
  QTest::keyClick(&bar, Qt::Key_Right);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "low 101", "up", "down", "low 91", "up",
                                              "down", "low 200", "up"}));
}

std::vector<ValueRow> VideoLikeRows() {
  return {
      ValueRow{"Codec=", "xvid", {"xvid", "mpeg4"}, true, true},
      ValueRow{"Size=", "640x480", {"320x240", "640x480"}, true, false},
      ValueRow{"Duration=", "Full", {}, false, false},
  };
}

TEST(ValueListEditorTest, RowsAreShownWithoutRaisingEdits) {
  ValueListEditor list;
  QSignalSpy edited(&list, &ValueListEditor::cellsEdited);
  list.SetRows(VideoLikeRows());
  list.SetRows(VideoLikeRows());
  test::RunPostedEvents();
  EXPECT_EQ(edited.count(), 0);
  EXPECT_EQ(list.rowCount(), 3);
  EXPECT_EQ(list.ValueTexts(), (std::vector<std::string>{"xvid", "640x480", "Full"}));
  EXPECT_EQ(list.item(0, 0)->text().toStdString(), "Codec=");
  // Keys are not editable; every row is shown without scrolling.
  EXPECT_FALSE(list.item(0, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_EQ(list.height(), list.FittingHeight());
}

TEST(ValueListEditorTest, EditorsFollowTheRowKind) {
  ValueListEditor list;
  list.resize(300, 120);
  list.show();
  list.SetRows(VideoLikeRows());
  struct Case {
    int row;
    bool combo;
    bool typing;
  };
  for (const Case& c : {Case{0, true, false}, Case{1, true, true}, Case{2, false, true}}) {
    SCOPED_TRACE(c.row);
    list.setCurrentCell(c.row, 1);
    list.editItem(list.item(c.row, 1));
    auto* combo = list.findChild<QComboBox*>();
    auto* line = list.findChild<QLineEdit*>();
    if (c.combo) {
      ASSERT_NE(combo, nullptr);
      EXPECT_EQ(combo->isEditable(), c.typing);
      EXPECT_EQ(combo->currentText().toStdString(), list.ValueTexts()[c.row]);
      EXPECT_EQ(combo->count(), 2);
    } else {
      EXPECT_EQ(combo, nullptr);
      ASSERT_NE(line, nullptr);
    }
    // Leave the editor without an edit.
    QWidget* editor = combo ? static_cast<QWidget*>(combo) : line;
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_TRUE(test::WaitUntil([&] { return list.findChild<QComboBox*>() == nullptr; }));
  }
}

TEST(ValueListEditorTest, AnEditReportsEveryCellAfterTheEditorClosed) {
  ValueListEditor list;
  list.resize(300, 120);
  list.show();
  list.SetRows(VideoLikeRows());
  std::vector<std::vector<std::string>> reports;
  QObject::connect(&list, &ValueListEditor::cellsEdited, [&](const std::vector<std::string>& c) {
    reports.push_back(c);
    // A receiver that refills the rows at once, as the profile panel does.
    list.SetRows(VideoLikeRows());
  });
  list.setCurrentCell(0, 1);
  list.editItem(list.item(0, 1));
  auto* combo = list.findChild<QComboBox*>();
  ASSERT_NE(combo, nullptr);
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  EXPECT_TRUE(reports.empty());  // queued until the editor is done
  ASSERT_TRUE(test::WaitUntil([&] { return !reports.empty(); }));
  test::RunPostedEvents();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], (std::vector<std::string>{"mpeg4", "640x480", "Full"}));
  EXPECT_EQ(list.ValueTexts()[0], "xvid");
}

TEST(GuideBannerTest, ColoursAreBlueGreenRedWords) {
  EXPECT_EQ(ColourFromBgr(kGuideReadyColour), QColor(125, 235, 0));
  EXPECT_EQ(ColourFromBgr(kGuideRecordingColour), QColor(119, 119, 255));
  EXPECT_EQ(ColourFromBgr(0x0000ff), QColor(255, 0, 0));
}

TEST(GuideBannerTest, AFrozenBannerKeepsItsColourUntilRestored) {
  GuideBanner banner;
  banner.SetBackground(Qt::green);
  EXPECT_EQ(banner.shown_background(), QColor(Qt::green));
  banner.Freeze();
  banner.SetBackground(Qt::blue);
  EXPECT_EQ(banner.shown_background(), QColor(Qt::green));
  banner.Restore();
  EXPECT_EQ(banner.shown_background(), QColor(Qt::blue));
  // A fade on a hidden banner takes the end colour at once.
  banner.Fade(Qt::white, Qt::red);
  EXPECT_EQ(banner.shown_background(), QColor(Qt::red));
  EXPECT_EQ(banner.background(), QColor(Qt::red));
}

TEST(ElidingLabelTest, KeepsTheWholeTextAndShowsItAsHintWhenCut) {
  ElidingLabel label;
  label.resize(60, 20);
  const QString text = "12.5% Recorded 0:00:01  Output: 1.0 MB  /a/long/folder/name/clip.avi";
  label.SetFullText(text);
  EXPECT_EQ(label.text(), text);
  EXPECT_EQ(label.toolTip(), text);
  label.resize(2000, 20);
  label.SetFullText("short");
  EXPECT_TRUE(label.toolTip().isEmpty());
}

}  // namespace
}  // namespace ovc
