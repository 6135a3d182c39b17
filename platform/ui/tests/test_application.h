// The one QApplication of a test process: headless (offscreen platform), made on first use.
#pragma once

class QApplication;

namespace vrtest {

// Makes the application on first use; call it on the main thread, which the tests run on.
QApplication& TestApplication();

} // namespace vrtest
