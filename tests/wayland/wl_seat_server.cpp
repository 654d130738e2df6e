// A Wayland server whose only globals are seats and a clipboard manager's access to them
// (zwlr_data_control_manager_v1), which it withdraws and ends when told: sway keeps its seats and
// the devices on them for as long as it runs, and a client must still cope with a seat that goes,
// one that comes, and a device the compositor ends.
//
//   wl_seat_server SOCKET
//
// Listens on the socket path with one seat, and prints "ready". Then reads commands on its
// standard input, one a line: "withdraw" takes back the seat announced first, ending the devices
// on it first as wlroots does; "announce" offers one more seat; "finish" ends every device;
// "refuse" ends every device asked for from then on as soon as it is made. It prints "done" once
// the clients were told. It prints "device" for every data-control device it gives a client (which
// hears at once that there is no selection, as wlroots tells the selection), "refused" for one it
// ends at once, and "selection" for every selection a client sets; it announces none. Ends when
// its standard input closes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server.h>

#include "wlr-data-control-unstable-v1-server-protocol.h"

namespace {

wl_display* gDisplay = nullptr;
std::deque<wl_global*> gSeats;
std::string gPending;

// A client's data-control device, with the seat global it was asked for on; ended ones are gone.
struct Device {
    wl_resource* resource;
    wl_global* seat;
};
std::deque<Device> gDevices;
bool gRefusing = false;

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void destroyResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}
void forgetDevice(wl_resource* resource) {
    std::erase_if(gDevices, [&](const Device& device) { return device.resource == resource; });
}
// Ends the devices on the seat, or all of them: the client is told and hears nothing more of them.
void finishDevices(const wl_global* seat) {
    std::erase_if(gDevices, [&](const Device& device) {
        if (seat && device.seat != seat)
            return false;
        zwlr_data_control_device_v1_send_finished(device.resource);
        wl_resource_set_user_data(device.resource, nullptr);
        wl_resource_set_destructor(device.resource, nullptr);
        return true;
    });
}

void offerName(wl_client*, wl_resource*, const char*) {}
const struct zwlr_data_control_source_v1_interface kSource { &offerName, &destroyResource };
void setSelection(wl_client*, wl_resource* device, wl_resource*) {
    if (wl_resource_get_user_data(device))
        say("selection");
}
const struct zwlr_data_control_device_v1_interface kDevice {
    &setSelection, &destroyResource, &setSelection
};
void createSource(wl_client* client, wl_resource* manager, uint32_t id) {
    wl_resource* source = wl_resource_create(client, &zwlr_data_control_source_v1_interface,
                                             wl_resource_get_version(manager), id);
    wl_resource_set_implementation(source, &kSource, nullptr, nullptr);
}
void getDevice(wl_client* client, wl_resource* manager, uint32_t id, wl_resource* seat) {
    wl_resource* device = wl_resource_create(client, &zwlr_data_control_device_v1_interface,
                                             wl_resource_get_version(manager), id);
    auto* global = static_cast<wl_global*>(wl_resource_get_user_data(seat));
    // A device asked for on a seat already gone is ended at once.
    if (gRefusing || std::find(gSeats.begin(), gSeats.end(), global) == gSeats.end()) {
        wl_resource_set_implementation(device, &kDevice, nullptr, nullptr);
        zwlr_data_control_device_v1_send_finished(device);
        say("refused");
        return;
    }
    wl_resource_set_implementation(device, &kDevice, global, &forgetDevice);
    gDevices.push_back({device, global});
    // A new device hears of the selection at once: there is none.
    zwlr_data_control_device_v1_send_selection(device, nullptr);
    say("device");
}
const struct zwlr_data_control_manager_v1_interface kManager {
    &createSource, &getDevice, &destroyResource
};
void bindManager(wl_client* client, void*, uint32_t version, uint32_t id) {
    wl_resource* manager =
        wl_resource_create(client, &zwlr_data_control_manager_v1_interface, int(version), id);
    wl_resource_set_implementation(manager, &kManager, nullptr, nullptr);
}

// The client's requests of a seat, which no client of ours makes, are taken and left unanswered.
void ignoreDevice(wl_client*, wl_resource*, uint32_t) {}
void ignoreRelease(wl_client*, wl_resource*) {}
const struct wl_seat_interface kSeat {
    &ignoreDevice, &ignoreDevice, &ignoreDevice, &ignoreRelease
};

void bindSeat(wl_client* client, void* global, uint32_t version, uint32_t id) {
    wl_resource* resource = wl_resource_create(client, &wl_seat_interface, int(version), id);
    if (!resource) {
        wl_client_post_no_memory(client);
        return;
    }
    // Each seat resource knows its global, for the devices asked for on it.
    wl_resource_set_implementation(resource, &kSeat, global, nullptr);
}

void announce() {
    wl_global* seat = wl_global_create(gDisplay, &wl_seat_interface, 1, nullptr, &bindSeat);
    wl_global_set_user_data(seat, seat);
    gSeats.push_back(seat);
}

void obey(const std::string& command) {
    if (command == "withdraw" && !gSeats.empty()) {
        finishDevices(gSeats.front());
        wl_global_destroy(gSeats.front());
        gSeats.pop_front();
    } else if (command == "announce") {
        announce();
    } else if (command == "finish") {
        finishDevices(nullptr);
    } else if (command == "refuse") {
        gRefusing = true;
    }
    wl_display_flush_clients(gDisplay);
    std::printf("done\n");
    std::fflush(stdout);
}

int commandsArrived(int fd, uint32_t, void*) {
    char bytes[256];
    const ssize_t got = ::read(fd, bytes, sizeof bytes);
    if (got <= 0) {
        wl_display_terminate(gDisplay);
        return 0;
    }
    gPending.append(bytes, size_t(got));
    for (size_t end; (end = gPending.find('\n')) != std::string::npos;) {
        obey(gPending.substr(0, end));
        gPending.erase(0, end + 1);
    }
    return 0;
}

int listenOn(const char* path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path)
        return -1;
    std::strcpy(address.sun_path, path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0)
        return -1;
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wl_seat_server SOCKET\n");
        return 1;
    }
    gDisplay = wl_display_create();
    const int socket = listenOn(argv[1]);
    if (!gDisplay || socket < 0 || wl_display_add_socket_fd(gDisplay, socket) != 0) {
        std::fprintf(stderr, "wl_seat_server: cannot listen on %s\n", argv[1]);
        return 1;
    }
    announce();
    wl_global_create(gDisplay, &zwlr_data_control_manager_v1_interface, 2, nullptr, &bindManager);
    wl_event_loop_add_fd(wl_display_get_event_loop(gDisplay), STDIN_FILENO, WL_EVENT_READABLE,
                         &commandsArrived, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    wl_display_run(gDisplay);
    wl_display_destroy(gDisplay);
    ::unlink(argv[1]);
    return 0;
}
