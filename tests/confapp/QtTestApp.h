#pragma once

// The one application object of a Qt test program, on the offscreen platform. Every
// file of the program but one defines CONFAPP_TEST_APP_SHARED before including it.
#include <QApplication>

namespace confapptest {

inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "confapp-test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
}

} // namespace confapptest

#ifndef CONFAPP_TEST_APP_SHARED
// Fontconfig keeps its font cache to the end of the process; that is not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
