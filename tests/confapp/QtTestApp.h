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
    // Never destroyed: input devices Qt made along the way would otherwise be torn down
    // after the platform is gone, at the exit of the process.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

} // namespace confapptest

#ifndef CONFAPP_TEST_APP_SHARED
// Fontconfig keeps its font cache to the end of the process; that is not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
