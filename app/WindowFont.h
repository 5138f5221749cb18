// The window's font: the Tahoma-metric faces built into the program's resources, so the
// designed sizes (the 55-pixel clock panel, the list's lines) hold on every machine. Window
// thread only.
#pragma once

#include <QFont>

namespace varnel {

// Tahoma at a height of 11 pixels (8 points at 96 dots per inch). The first call registers
// the built-in faces with the application; a QGuiApplication must exist.
QFont WindowFont();

}  // namespace varnel
