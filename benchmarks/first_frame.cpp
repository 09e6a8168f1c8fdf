// Times how long a program takes from its start to its window's first frame,
// as the X server sees it: the watcher follows the creation and mapping of
// top-level windows and takes the first damage to a mapped one as the first
// frame. Runs the program and a floor program in turn and prints
//
//   NAME: MEDIAN ns, floor FLOOR_NAME FLOOR ns, ratio R
//
// and, the same way, the processor time the program's main thread had used
// by then (NAME_main_thread_cpu), which a busy machine disturbs less.
//
// Usage: first_frame RUNS WORKDIR NAME PROGRAM FLOOR_NAME FLOOR_PROGRAM
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

long long nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Nanoseconds the process's main thread has run on a processor.
long long mainThreadCpuNs(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    long long ns = -1;
    in >> ns;
    return ns;
}

struct Start {
    long long frame = -1; // wall time to the first frame
    long long cpu = -1;   // main thread's processor time by then
};

struct Watcher {
    Display* dpy = nullptr;
    int damageEvent = 0;
};

// Waits for the next event for at most timeoutNs; false on timeout.
bool nextEvent(Display* dpy, XEvent* ev, long long deadline)
{
    while (XPending(dpy) == 0) {
        const long long left = deadline - nowNs();
        if (left <= 0) {
            return false;
        }
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(dpy), &fds);
        timeval tv{};
        tv.tv_sec = static_cast<time_t>(left / 1000000000LL);
        tv.tv_usec = static_cast<suseconds_t>((left % 1000000000LL) / 1000);
        if (select(ConnectionNumber(dpy) + 1, &fds, nullptr, nullptr, &tv) < 0 && errno != EINTR) {
            return false;
        }
    }
    XNextEvent(dpy, ev);
    return true;
}

// Starts the program in workDir and times its first frame; frame is -1 when
// no frame came within 20 seconds.
Start firstFrame(Watcher& w, const std::string& workDir, const std::string& program)
{
    const Window root = DefaultRootWindow(w.dpy);
    XSelectInput(w.dpy, root, SubstructureNotifyMask);
    XSync(w.dpy, False);
    // Drop what is left of an earlier run.
    while (XPending(w.dpy) > 0) {
        XEvent ev;
        XNextEvent(w.dpy, &ev);
    }

    const long long start = nowNs();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0) {
            _exit(127);
        }
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) {
        return {};
    }

    std::set<Window> mapped;
    std::vector<Damage> damages;
    Start result;
    const long long deadline = start + 20000000000LL;
    XEvent ev;
    while (result.frame < 0 && nextEvent(w.dpy, &ev, deadline)) {
        if (ev.type == CreateNotify && ev.xcreatewindow.parent == root) {
            // Watched from its creation on, so that no drawing is missed.
            damages.push_back(XDamageCreate(w.dpy, ev.xcreatewindow.window, XDamageReportNonEmpty));
            XFlush(w.dpy);
        } else if (ev.type == MapNotify) {
            mapped.insert(ev.xmap.window);
        } else if (ev.type == w.damageEvent + XDamageNotify) {
            const auto* d = reinterpret_cast<const XDamageNotifyEvent*>(&ev);
            if (mapped.count(d->drawable) > 0) {
                result.frame = nowNs() - start;
                result.cpu = mainThreadCpuNs(pid);
            }
        }
    }

    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    XSelectInput(w.dpy, root, NoEventMask);
    // The windows are gone with the program, and their damage objects with
    // them; errors about them are expected and ignored.
    XSync(w.dpy, True);
    return result;
}

long long median(std::vector<long long> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int ignoreErrors(Display* /*dpy*/, XErrorEvent* /*error*/)
{
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s RUNS WORKDIR NAME PROGRAM FLOOR_NAME FLOOR_PROGRAM\n",
                     argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const std::string workDir = argv[2];
    const std::string name = argv[3];
    const std::string program = argv[4];
    const std::string floorName = argv[5];
    const std::string floorProgram = argv[6];

    Watcher w;
    w.dpy = XOpenDisplay(nullptr);
    if (w.dpy == nullptr) {
        std::fprintf(stderr, "first_frame: cannot open the display\n");
        return 1;
    }
    int damageError = 0;
    if (!XDamageQueryExtension(w.dpy, &w.damageEvent, &damageError)) {
        std::fprintf(stderr, "first_frame: the X server has no DAMAGE extension\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);

    // One start of each before counting, so both find the files in the
    // page cache; then the two in turn, so that drift hits both alike.
    firstFrame(w, workDir, program);
    firstFrame(w, workDir, floorProgram);
    std::vector<long long> times;
    std::vector<long long> floors;
    std::vector<long long> cpus;
    std::vector<long long> floorCpus;
    for (int i = 0; i < runs; ++i) {
        const Start t = firstFrame(w, workDir, program);
        const Start f = firstFrame(w, workDir, floorProgram);
        if (t.frame < 0 || f.frame < 0) {
            std::fprintf(stderr, "first_frame: no frame from %s within 20 s\n",
                         (t.frame < 0 ? program : floorProgram).c_str());
            return 1;
        }
        std::fprintf(stderr, "  run %2d: %s %.1f ms (main thread %.1f ms), %s %.1f ms (%.1f ms)\n",
                     i + 1, name.c_str(), static_cast<double>(t.frame) / 1e6,
                     static_cast<double>(t.cpu) / 1e6, floorName.c_str(),
                     static_cast<double>(f.frame) / 1e6, static_cast<double>(f.cpu) / 1e6);
        times.push_back(t.frame);
        floors.push_back(f.frame);
        cpus.push_back(t.cpu);
        floorCpus.push_back(f.cpu);
    }
    const auto report = [](const std::string& n, const std::string& fn, long long m, long long fm) {
        std::printf("%s: %lld ns, floor %s %lld ns, ratio %.2f\n", n.c_str(), m, fn.c_str(), fm,
                    static_cast<double>(m) / static_cast<double>(fm));
    };
    report(name, floorName, median(times), median(floors));
    report(name + "_main_thread_cpu", floorName, median(cpus), median(floorCpus));
    XCloseDisplay(w.dpy);
    return 0;
}
