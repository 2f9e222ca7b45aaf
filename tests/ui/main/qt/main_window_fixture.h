#pragma once

#include <QAction>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "common/paths.h"
#include "common/scripted_message_box.h"
#include "support/qt/qt_test_harness.h"
#include "support/temp_world.h"
#include "ui/main/qt/qt_main_window.h"

namespace ovc::test {

// A main window in a world of its own: program folder, settings, temp and
// home folders in a fresh temporary folder, messages answered by a script.
class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    world_.SetEnv("HOME", world_.Path("user"));
    WriteFile(world_.Path("user/.keep"), "");
    ASSERT_EQ(PrepareProgramFolder(), 0);
    window_ = std::make_unique<QtMainWindow>(WindowOptions());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  void TearDown() override {
    if (window_) {
      box_.SetFallback(kButtonYes);
      window_->close();
      window_.reset();
    }
  }

  virtual QtMainWindowOptions WindowOptions() {
    QtMainWindowOptions options;
    options.preview_sound = false;
    return options;
  }

  template <typename T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
  std::unique_ptr<QtMainWindow> window_;
};

}  // namespace ovc::test
