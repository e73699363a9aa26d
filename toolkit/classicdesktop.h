#pragma once

#include <QPoint>
#include <QString>

class QWidget;

// The look of the classic desktop the layout was designed for: the "Windows"
// style, whose group boxes carry their caption on the frame line. Called
// before the application object is made, it is only the default: a style
// the user names (the -style option, QT_STYLE_OVERRIDE) takes its place.
void useClassicDesktopLook();

// The family to draw text designed for `family` with: the family itself where
// it is installed, else the first installed font made to stand in for it
// (for "ＭＳ Ｐゴシック", IPAPGothic, which matches its metrics), else `family`
// as it is, for fontconfig to match. Naming an installed family spares Qt a
// slow search for fallbacks of a missing one at start-up.
QString installedFamilyFor(const QString& family);

// Places a main window with its frame's top left at `framePosition`, and keeps
// the size the layout gave it as its outer size, frame included, once the
// window system reports the frame. The client area never shrinks below what
// its controls need.
void placeAsDesigned(QWidget* window, QPoint framePosition);

// Tab visits only the checked radio button of each group among `parent`'s
// children, as on the classic desktop; the arrow keys still move the check.
void tabToCheckedRadioButtonOnly(QWidget* parent);
