// Starts programs one after the other on the X server in $DISPLAY and, for
// each run, measures the time from process start until its window is mapped,
// the time from a click on its close button until the process has exited,
// and its peak resident memory. Runs the programs alternately and prints the
// medians, and each program's ratio to the first one.
//
//   startup_bench RUNS WORKDIR NAME=PROGRAM ... (the first is the baseline)
//
// The close button is clicked at (282, 339) in the window, where both the
// settings window and the baseline have it; the window stands at (194, 82)
// with no window manager to move it.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int CloseX = 194 + 282;
constexpr int CloseY = 82 + 339;

struct Program {
    std::string name;
    std::string path;
    std::vector<double> toWindow;  // ms
    std::vector<double> toExit;    // ms
    std::vector<double> peakRss;   // MiB
};

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Waits for the first top-level window that is mapped; false on a time-out.
bool waitForMap(Display* display)
{
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect)
                return true;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
    }
    return false;
}

bool runOnce(Display* display, Program& program, const std::string& workDir)
{
    XSync(display, True); // drop events left from the run before
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0)
            _exit(127);
        execl(program.path.c_str(), program.path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (!waitForMap(display)) {
        std::fprintf(stderr, "%s: no window appeared\n", program.name.c_str());
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return false;
    }
    const auto mapped = Clock::now();

    // Let it settle and paint before the click.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    XTestFakeMotionEvent(display, -1, CloseX, CloseY, 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    XFlush(display);
    const auto clicked = Clock::now();

    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto exited = Clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s: did not exit cleanly\n", program.name.c_str());
        return false;
    }
    program.toWindow.push_back(milliseconds(mapped - start));
    program.toExit.push_back(milliseconds(exited - clicked));
    program.peakRss.push_back(static_cast<double>(usage.ru_maxrss) / 1024.0);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup_bench RUNS WORKDIR NAME=PROGRAM ...\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::string workDir = argv[2];
    std::vector<Program> programs;
    for (int i = 3; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto equals = argument.find('=');
        programs.push_back({argument.substr(0, equals), argument.substr(equals + 1), {}, {}, {}});
    }

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_bench: cannot open the display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    for (int run = 0; run < runs; ++run)
        for (Program& program : programs)
            if (!runOnce(display, program, workDir))
                return 1;

    std::printf("%d runs each, medians\n\n", runs);
    std::printf("%-14s %14s %14s %14s\n", "program", "to window ms", "to exit ms", "peak RSS MiB");
    for (const Program& p : programs)
        std::printf("%-14s %14.1f %14.1f %14.1f\n", p.name.c_str(), median(p.toWindow), median(p.toExit),
                    median(p.peakRss));
    const Program& base = programs.front();
    for (std::size_t i = 1; i < programs.size(); ++i) {
        const Program& p = programs[i];
        std::printf("\n%s / %s: to window %.2f, to exit %.2f, peak RSS %.2f\n", p.name.c_str(), base.name.c_str(),
                    median(p.toWindow) / median(base.toWindow), median(p.toExit) / median(base.toExit),
                    median(p.peakRss) / median(base.peakRss));
    }
    XCloseDisplay(display);
    return 0;
}
