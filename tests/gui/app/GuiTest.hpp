#pragma once
// The application object of the GUI tests (offscreen) and a fixture that gives
// each test its own data folder, so loading the main window never touches the
// real one.
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QWidget>

#include "app/EventWiring.hpp"
#include "app/Startup.hpp"
#include "forms/Layout.hpp"
#include "forms/qt/FormRuntime.hpp"
#include "forms/qt/FormWindow.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

inline QApplication& guiApp() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "app_gui_tests";
        static char* argv[] = {name, nullptr};
        auto* made = new QApplication(argc, argv);
        setUpApplicationLook();
        return made;
    }();
    return *app;
}

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        guiApp();
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
    }
    void TearDown() override {
        runtime_.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Loads the main window (created event included) and returns it.
    FormWindow& mainWindow() {
        EXPECT_TRUE(runtime_->loadWindow(layout::kMainWindow, nullptr, false));
        FormWindow* window = runtime_->openForm(layout::kMainWindow);
        EXPECT_NE(window, nullptr);
        return *window;
    }
    static QImage grab(QWidget& widget) {
        return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    TempDir config_;
    std::unique_ptr<FormRuntime> runtime_;
};

}  // namespace lumivox::testing
