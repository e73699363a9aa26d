#pragma once

#include <QPoint>

class QWidget;

// The look of the classic desktop the layout was designed for: the "Windows"
// style, whose group boxes carry their caption on the frame line, and
// stand-ins for the designed Japanese font where it is not installed.
void useClassicDesktopLook();

// Places a main window with its frame's top left at `framePosition`, and keeps
// the size the layout gave it as its outer size, frame included, once the
// window system reports the frame. The client area never shrinks below what
// its controls need.
void placeAsDesigned(QWidget* window, QPoint framePosition);

// Tab visits only the checked radio button of each group among `parent`'s
// children, as on the classic desktop; the arrow keys still move the check.
void tabToCheckedRadioButtonOnly(QWidget* parent);
