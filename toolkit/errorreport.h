#pragma once

#include <QString>

#include <functional>

// The application's title: the executable's file name up to its first ".",
// every letter after the first in lower case.
QString applicationTitle(const QString& executablePath);

// The standard error report: a message box captioned with the application's
// title, holding `message` and a full stop, with an error icon and an OK
// button. It is modal and returns once the user has dismissed it.
void showErrorReport(const QString& message);

// Runs an event handler. An exception that escapes it goes no further: it is
// shown in the standard error report (running out of memory as
// "メモリが足りません") and the event loop carries on. Every
// handler runs through here, as no exception may travel through Qt's code.
void guard(const std::function<void()>& handler) noexcept;
