// The one QApplication of a widget test program, on the offscreen platform unless the caller
// chose another (Xvfb for screenshots).
#pragma once

class QApplication;

namespace p3dtest {

QApplication& WidgetApplication();

} // namespace p3dtest
