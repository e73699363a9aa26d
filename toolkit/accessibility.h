#pragma once

// Makes Qt's accessibility layer, and through it assistive technology such
// as a screen reader over AT-SPI, find this toolkit's own interfaces:
// - an UpDown is a spin box with three actions: increase (a left click on
//   the up arrow), decrease (a left click on the down arrow) and
//   "1時間進める" (a right click); each acts as the mouse would, once the
//   request has been answered;
// - a TimeField is read-only text: it reads its text and offers no way to
//   set, insert or delete any;
// - a plain QWidget that is a window is announced as a window.
// Called by the toolkit's controls as they are made; once is enough.
void installToolkitAccessibility();

// The name of the up-down's action that acts as a right click.
extern const char* const HourForwardAction;
