// ping_window: how long a window takes to answer the window manager.
//
//   ping_window WINDOW_ID
//
// Sends the window a _NET_WM_PING client message every 50 ms, as a window
// manager does to find out whether a program still answers, and times each
// reply: a toolkit that handles its events sends the message back to the root
// window, where this program listens. A program whose
// event loop is held up answers late, and the delay is how long the loop was
// held.
//
// Standard input names the situations being measured, one command a line:
//   situation NAME   the pings from now on belong to NAME
//   end              stop pinging, wait up to 5 s for the late answers, report
// End of input is taken as end. Each ping belongs to the situation in which it
// was sent, however late it is answered. The report is one line per
// situation: the number of pings, how many were answered, the longest, the
// median and the 99th percentile answer in milliseconds, and how many took
// longer than 250 ms. A ping still unanswered at the end counts with its age.
//
// The window id may be given in decimal or as 0x... (xdotool prints decimal).

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kInterval = std::chrono::milliseconds(50);
constexpr auto kLastAnswers = std::chrono::seconds(5);
constexpr double kGoalMs = 250.0;

struct Situation
{
    std::string name;
    std::vector<double> answers; // ms
    int sent = 0;
    int answered = 0;
};

struct Ping
{
    size_t situation = 0;
    Clock::time_point sent;
};

xcb_atom_t Atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = size_t(q * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ping_window WINDOW_ID\n");
        return 2;
    }
    const auto window = xcb_window_t(std::strtoul(argv[1], nullptr, 0));
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "ping_window: cannot reach the display\n");
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;
    const xcb_atom_t wmProtocols = Atom(c, "WM_PROTOCOLS");
    const xcb_atom_t netWmPing = Atom(c, "_NET_WM_PING");

    // Toolkits send the answer with SubstructureNotify (the EWMH) or
    // StructureNotify (Qt) in its mask; listen for both.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    std::vector<Situation> situations{{"start", {}, 0, 0}};
    std::map<uint32_t, Ping> pending;
    uint32_t serial = 1;
    bool pinging = true;
    Clock::time_point stopAt{};
    auto nextPing = Clock::now();
    std::string input;

    const auto answer = [&](uint32_t id, Clock::time_point at) {
        const auto found = pending.find(id);
        if (found == pending.end())
            return;
        Situation &s = situations[found->second.situation];
        s.answers.push_back(Ms(at - found->second.sent));
        ++s.answered;
        pending.erase(found);
    };

    for (;;) {
        const auto now = Clock::now();
        if (pinging && now >= nextPing) {
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = window;
            event.type = wmProtocols;
            event.data.data32[0] = netWmPing;
            // The timestamp stays CurrentTime, so that the toolkit's idea of
            // the server time is not disturbed; the serial rides in a spare
            // word, which the answer carries back unchanged.
            event.data.data32[1] = XCB_CURRENT_TIME;
            event.data.data32[2] = window;
            event.data.data32[3] = serial;
            xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char *>(&event));
            xcb_flush(c);
            pending[serial++] = {situations.size() - 1, now};
            ++situations.back().sent;
            nextPing += kInterval;
            if (nextPing < now)
                nextPing = now + kInterval;
        }
        if (!pinging && (pending.empty() || now >= stopAt))
            break;

        const auto until = pinging ? nextPing : stopAt;
        const int timeout = int(std::max<Clock::rep>(
            std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count(), 0));
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {0, POLLIN, 0}};
        const int nfds = pinging ? 2 : 1;
        ::poll(fds, nfds, timeout);
        const auto arrived = Clock::now();

        while (xcb_generic_event_t *e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *m = reinterpret_cast<const xcb_client_message_event_t *>(e);
                if (m->window == root && m->type == wmProtocols && m->data.data32[0] == netWmPing)
                    answer(m->data.data32[3], arrived);
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c)) {
            std::fprintf(stderr, "ping_window: the display went away\n");
            break;
        }

        if (pinging && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buffer[256];
            const ssize_t n = ::read(0, buffer, sizeof buffer);
            if (n <= 0) {
                pinging = false;
            } else {
                input.append(buffer, size_t(n));
                size_t eol;
                while ((eol = input.find('\n')) != std::string::npos) {
                    const std::string line = input.substr(0, eol);
                    input.erase(0, eol + 1);
                    if (line.rfind("situation ", 0) == 0)
                        situations.push_back({line.substr(10), {}, 0, 0});
                    else if (line == "end")
                        pinging = false;
                }
            }
            if (!pinging)
                stopAt = Clock::now() + kLastAnswers;
        }
    }

    const auto end = Clock::now();
    for (const auto &[id, ping] : pending)
        situations[ping.situation].answers.push_back(Ms(end - ping.sent));

    std::printf("%-44s %6s %8s %9s %8s %8s %6s\n", "situation", "pings", "answered", "longest",
                "median", "p99", ">250");
    for (const Situation &s : situations) {
        if (s.sent == 0)
            continue;
        const auto over = std::count_if(s.answers.begin(), s.answers.end(),
                                        [](double ms) { return ms > kGoalMs; });
        const double longest =
            s.answers.empty() ? 0 : *std::max_element(s.answers.begin(), s.answers.end());
        std::printf("%-44s %6d %8d %6.0f ms %5.0f ms %5.0f ms %6ld\n", s.name.c_str(), s.sent,
                    s.answered, longest, Quantile(s.answers, 0.5), Quantile(s.answers, 0.99),
                    long(over));
    }
    xcb_disconnect(c);
    return 0;
}
