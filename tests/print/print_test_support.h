// The one QGuiApplication of a print test program: fonts, text documents and the PDF printer
// need one; no window is ever shown.
#pragma once

#include <QGuiApplication>

namespace msu::print::testing {

inline QGuiApplication& App() {
  static int argc = 1;
  static char name[] = "print_test";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* application = new QGuiApplication(argc, argv);
  return *application;
}

}  // namespace msu::print::testing
