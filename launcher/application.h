#pragma once

class QApplication;

namespace vorn {

// Fonts, tool-tip look and application identity; runs before anything reads settings.
void prepareApplication(QApplication& app);

// The whole program: single instance, settings, catalogues, window, event loop.
[[nodiscard]] int runLauncher(int argc, char** argv);

} // namespace vorn
