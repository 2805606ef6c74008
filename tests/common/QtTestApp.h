#pragma once
// The QApplication of a GUI test program (headless through QT_QPA_PLATFORM).
// It is made by the first test that needs it and deleted when the test run
// ends, before the program's static objects go: Qt's own device registry is
// one of them, and the application's input devices unregister from it.
#include <gtest/gtest.h>

#include <QApplication>

namespace quill_test_detail {

inline QApplication* application = nullptr;

class QtAppEnvironment : public testing::Environment {
public:
  void TearDown() override {
    delete application;
    application = nullptr;
  }
};

inline const testing::Environment* const qtAppEnvironment = testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace quill_test_detail

inline QApplication& EnsureQtApp() {
  static int argc = 1;
  static char name[] = "quill_tests";
  static char* argv[] = {name, nullptr};
  if (!quill_test_detail::application) quill_test_detail::application = new QApplication(argc, argv);
  return *quill_test_detail::application;
}
