// A Wayland server whose only globals are seats, which it withdraws and announces when told:
// sway keeps its seats for as long as it runs, and a client must still cope with a seat that
// goes and one that comes.
//
//   wl_seat_server SOCKET
//
// Listens on the socket path with one seat, and prints "ready". Then reads commands on its
// standard input, one a line: "withdraw" takes back the seat announced first, "announce" offers
// one more; it prints "done" once the clients were told. Ends when its standard input closes.
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server.h>

namespace {

wl_display* gDisplay = nullptr;
std::deque<wl_global*> gSeats;
std::string gPending;

// The client's requests of a seat, which no client of ours makes, are taken and left unanswered.
void ignoreDevice(wl_client*, wl_resource*, uint32_t) {}
void ignoreRelease(wl_client*, wl_resource*) {}
const struct wl_seat_interface kSeat {
    &ignoreDevice, &ignoreDevice, &ignoreDevice, &ignoreRelease
};

void bindSeat(wl_client* client, void*, uint32_t version, uint32_t id) {
    wl_resource* resource = wl_resource_create(client, &wl_seat_interface, int(version), id);
    if (!resource) {
        wl_client_post_no_memory(client);
        return;
    }
    wl_resource_set_implementation(resource, &kSeat, nullptr, nullptr);
}

void announce() {
    gSeats.push_back(wl_global_create(gDisplay, &wl_seat_interface, 1, nullptr, &bindSeat));
}

void obey(const std::string& command) {
    if (command == "withdraw" && !gSeats.empty()) {
        wl_global_destroy(gSeats.front());
        gSeats.pop_front();
    } else if (command == "announce") {
        announce();
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
    wl_event_loop_add_fd(wl_display_get_event_loop(gDisplay), STDIN_FILENO, WL_EVENT_READABLE,
                         &commandsArrived, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    wl_display_run(gDisplay);
    wl_display_destroy(gDisplay);
    ::unlink(argv[1]);
    return 0;
}
