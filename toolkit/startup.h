#pragma once

// Guards the making of the application object, which is when Qt connects to
// the display. Qt treats a display it cannot reach as fatal and aborts, with
// a core dump and several lines of its own. While this guard is on, a fatal
// message instead prints `message` alone, as one line on the standard error,
// and ends the program with status 1. Qt's other messages meanwhile are held
// back, and passed on once reached() is called.
class DisplayRequired {
public:
    explicit DisplayRequired(const char* message);
    ~DisplayRequired();
    DisplayRequired(const DisplayRequired&) = delete;
    DisplayRequired& operator=(const DisplayRequired&) = delete;

    // The application is made: Qt's messages go their usual way again.
    void reached();
};
