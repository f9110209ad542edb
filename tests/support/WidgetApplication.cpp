#include "WidgetApplication.h"

#include <QApplication>
#include <cstdlib>

namespace p3dtest {

QApplication& WidgetApplication()
{
    static int argc = 1;
    static char name[] = "parallax3d-test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: widgets of static lifetime in a test must not outlive it.
    static QApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *application;
}

} // namespace p3dtest
