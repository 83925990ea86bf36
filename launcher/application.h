#pragma once

class QApplication;

namespace vorn {

// Follow the display's scale factor, fractional ones included; must run before the
// application object exists.
void enableHighDpiScaling();

// Fonts, tool-tip look and application identity; runs before anything reads settings.
void prepareApplication(QApplication& app);

// The whole program: single instance, settings, catalogues, window, event loop.
[[nodiscard]] int runLauncher(int argc, char** argv);

} // namespace vorn
