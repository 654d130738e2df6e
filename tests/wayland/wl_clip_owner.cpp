// A clipboard owner on the data-control protocol, standing in for the programs people copy from
// on Wayland: it offers the given types in exactly the given order, which wl-copy does not let
// us choose, and it needs no window.
//
//   wl_clip_owner [--delay NAME SECONDS] [--retake SECONDS] NAME=VALUE...
//
// VALUE is the literal text, or @path for the bytes of a file. Prints "ready" once the compositor
// has made the offer the clipboard, "asked NAME" for every request and "sent NAME" once it has
// answered it; requests for the NAME of --delay are answered that long after they came, the other
// requests and the compositor's events being served meanwhile. --retake sets the same offer anew
// that often, as a hung or hostile owner may. Exits 0 when another program takes the clipboard or
// its standard input closes, 1 on a usage error or when the compositor offers no data-control.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>
#include <wayland-client.h>

#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::pair<std::string, std::string>> gOffers;
std::string gDelayedName;
double gDelaySeconds = 0;
double gRetakeSeconds = 0;
bool gCancelled = false;
wl_seat* gSeat = nullptr;
zwlr_data_control_manager_v1* gManager = nullptr;
zwlr_data_control_device_v1* gDevice = nullptr;
// The source that is the clipboard now; those it replaced are no loss when cancelled.
zwlr_data_control_source_v1* gSource = nullptr;

// A request answered later, by then.
struct Delayed {
    Clock::time_point due;
    std::string name;
    int fd;
};
std::vector<Delayed> gDelayed;

void announced(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !gSeat)
        gSeat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        gManager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
}
const wl_registry_listener kRegistryListener{announced, [](void*, wl_registry*, uint32_t) {}};

void answer(const std::string& name, int fd) {
    for (const auto& [offered, bytes] : gOffers)
        if (offered == name)
            for (size_t written = 0; written < bytes.size();) {
                const ssize_t sent = write(fd, bytes.data() + written, bytes.size() - written);
                if (sent <= 0)
                    break;
                written += size_t(sent);
            }
    close(fd);
    std::printf("sent %s\n", name.c_str());
    std::fflush(stdout);
}
void send(void*, zwlr_data_control_source_v1*, const char* name, int32_t fd) {
    std::printf("asked %s\n", name);
    std::fflush(stdout);
    if (gDelayedName == name)
        gDelayed.push_back({Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(gDelaySeconds)),
                            name, fd});
    else
        answer(name, fd);
}
void cancelled(void*, zwlr_data_control_source_v1* source) {
    gCancelled = gCancelled || source == gSource;
    if (source != gSource)
        zwlr_data_control_source_v1_destroy(source);
}
const zwlr_data_control_source_v1_listener kSourceListener{send, cancelled};

// Makes a source offering every type the clipboard.
void takeClipboard() {
    gSource = zwlr_data_control_manager_v1_create_data_source(gManager);
    zwlr_data_control_source_v1_add_listener(gSource, &kSourceListener, nullptr);
    for (const auto& offer : gOffers)
        zwlr_data_control_source_v1_offer(gSource, offer.first.c_str());
    zwlr_data_control_device_v1_set_selection(gDevice, gSource);
}

void answerDue() {
    const auto due = std::partition(gDelayed.begin(), gDelayed.end(), [](const Delayed& delayed) {
        return delayed.due > Clock::now();
    });
    for (auto delayed = due; delayed != gDelayed.end(); ++delayed)
        answer(delayed->name, delayed->fd);
    gDelayed.erase(due, gDelayed.end());
}

bool parse(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--delay" && i + 2 < argc) {
            gDelayedName = argv[++i];
            gDelaySeconds = std::atof(argv[++i]);
            continue;
        }
        if (argument == "--retake" && i + 1 < argc) {
            gRetakeSeconds = std::atof(argv[++i]);
            continue;
        }
        const size_t equals = argument.find('=');
        if (equals == std::string::npos || equals == 0)
            return false;
        std::string value = argument.substr(equals + 1);
        if (value.starts_with('@')) {
            std::ifstream file(value.substr(1), std::ios::binary);
            if (!file)
                return false;
            value.assign(std::istreambuf_iterator<char>(file), {});
        }
        gOffers.emplace_back(argument.substr(0, equals), std::move(value));
    }
    return !gOffers.empty();
}

} // namespace

int main(int argc, char** argv) {
    if (!parse(argc, argv)) {
        std::fprintf(stderr, "usage: wl_clip_owner [--delay NAME SECONDS] [--retake SECONDS] "
                             "NAME=VALUE...\n");
        return 1;
    }
    // A reader that closes early is no reason to end.
    std::signal(SIGPIPE, SIG_IGN);
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, nullptr);
    wl_display_roundtrip(display);
    if (!gSeat || !gManager) {
        std::fprintf(stderr, "wl_clip_owner: no seat or no data-control\n");
        return 1;
    }
    gDevice = zwlr_data_control_manager_v1_get_data_device(gManager, gSeat);
    takeClipboard();
    wl_display_roundtrip(display);
    std::printf("ready\n");
    std::fflush(stdout);

    const auto retakePeriod =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(gRetakeSeconds));
    Clock::time_point retake = Clock::now() + retakePeriod;
    bool inputOpen = true;
    while (!gCancelled && inputOpen) {
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        wl_display_flush(display);
        Clock::time_point wake = gRetakeSeconds > 0 ? retake : Clock::time_point::max();
        for (const Delayed& delayed : gDelayed)
            wake = std::min(wake, delayed.due);
        const int timeout =
            wake == Clock::time_point::max()
                ? -1
                : int(std::max<long>(
                      0, std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now())
                             .count()));
        pollfd ready[2] = {{wl_display_get_fd(display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        poll(ready, 2, timeout);
        if (ready[0].revents & POLLIN)
            wl_display_read_events(display);
        else
            wl_display_cancel_read(display);
        if (wl_display_dispatch_pending(display) < 0)
            return 1;
        char byte;
        inputOpen = !(ready[1].revents & (POLLIN | POLLHUP)) || read(STDIN_FILENO, &byte, 1) > 0;
        answerDue();
        if (gRetakeSeconds > 0 && Clock::now() >= retake) {
            takeClipboard();
            retake = Clock::now() + retakePeriod;
        }
    }
    wl_display_disconnect(display);
    return 0;
}
