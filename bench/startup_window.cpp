// startup_window: how long two programs take from launch to their first
// shown window, measured side by side.
//
//   startup_window RUNS -- PROGRAM_A [ARGS...] -- PROGRAM_B [ARGS...]
//
// Starts A, then B, RUNS times in turn (A B A B ...), so that a machine whose
// speed drifts during the run weighs on both alike. Each start is timed from
// just before fork() to the X server's MapNotify of the first top-level
// window whose _NET_WM_PID is the started process: the moment its window is
// shown. The process is then killed (SIGKILL) and reaped before the next
// start. One start that shows no window within 30 s ends the run.
//
// Prints each start's time, then per program the minimum, median and
// maximum in milliseconds, and the median of the ratios A/B taken pair by
// pair. Runs on the display named by DISPLAY (Xvfb in bench/startup.sh).

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kGiveUp = std::chrono::seconds(30);

xcb_atom_t Atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// The _NET_WM_PID of window, or 0.
pid_t WindowPid(xcb_connection_t *c, xcb_window_t window, xcb_atom_t pidAtom)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    pid_t pid = 0;
    if (reply && xcb_get_property_value_length(reply) >= 4)
        pid = static_cast<pid_t>(*static_cast<uint32_t *>(xcb_get_property_value(reply)));
    std::free(reply);
    return pid;
}

// Starts argv and returns the milliseconds until its first window shows, or
// a negative number when none shows.
double TimeToWindow(xcb_connection_t *c, xcb_atom_t pidAtom, const std::vector<char *> &argv)
{
    // Events of earlier starts are of no interest.
    while (xcb_generic_event_t *old = xcb_poll_for_event(c))
        std::free(old);
    const Clock::time_point start = Clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        ::execvp(argv[0], argv.data());
        std::perror(argv[0]);
        ::_exit(127);
    }
    double shown = -1;
    const int fd = xcb_get_file_descriptor(c);
    while (shown < 0) {
        const auto left = kGiveUp - (Clock::now() - start);
        if (left <= Clock::duration::zero())
            break;
        pollfd p{fd, POLLIN, 0};
        ::poll(
            &p, 1,
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) +
                1);
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY && shown < 0) {
                const Clock::time_point at = Clock::now();
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                if (WindowPid(c, map->window, pidAtom) == child)
                    shown = std::chrono::duration<double, std::milli>(at - start).count();
            }
            std::free(event);
        }
        if (xcb_connection_has_error(c))
            break;
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "startup_window: %s ended before showing a window\n", argv[0]);
            return -1;
        }
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return shown;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Report(const char *label, const char *program, const std::vector<double> &ms)
{
    const auto [low, high] = std::minmax_element(ms.begin(), ms.end());
    std::printf("%s %-40s min %7.1f ms  median %7.1f ms  max %7.1f ms\n", label, program, *low,
                Median(ms), *high);
}

} // namespace

int main(int argc, char **argv)
{
    // RUNS -- A... -- B...
    std::vector<char *> commands[2];
    int which = -1;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0 && which < 1) {
            ++which;
            continue;
        }
        if (which >= 0)
            commands[which].push_back(argv[i]);
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 0;
    if (runs < 1 || commands[0].empty() || commands[1].empty()) {
        std::fprintf(stderr,
                     "usage: startup_window RUNS -- PROGRAM_A [ARGS...] -- PROGRAM_B [ARGS...]\n");
        return 2;
    }
    for (auto &command : commands)
        command.push_back(nullptr);

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "startup_window: cannot open the display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t pidAtom = Atom(c, "_NET_WM_PID");
    xcb_flush(c);

    std::vector<double> ms[2];
    std::vector<double> ratios;
    for (int run = 0; run < runs; ++run) {
        double pair[2];
        for (int k = 0; k < 2; ++k) {
            pair[k] = TimeToWindow(c, pidAtom, commands[k]);
            if (pair[k] < 0) {
                std::fprintf(stderr, "startup_window: %s showed no window\n", commands[k][0]);
                return 1;
            }
            ms[k].push_back(pair[k]);
            std::printf("run %2d %s %8.1f ms\n", run + 1, k == 0 ? "A" : "B", pair[k]);
            std::fflush(stdout);
        }
        ratios.push_back(pair[0] / pair[1]);
    }
    Report("A", commands[0][0], ms[0]);
    Report("B", commands[1][0], ms[1]);
    std::printf("A/B median of the %d pairs: %.2f\n", runs, Median(ratios));
    xcb_disconnect(c);
    return 0;
}
