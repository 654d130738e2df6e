// A clipboard owner on plain Xlib, standing in for the programs people copy from: it takes the
// CLIPBOARD selection and offers the given types in exactly the given order, which no ready-made
// tool lets us choose.
//
//   clip_owner [--timeout SECONDS] [--chunk BYTES] [--hang | --hang-targets] NAME=VALUE...
//
// VALUE is the literal text, or @path for the bytes of a file. Data larger than the chunk goes
// by INCR. --hang answers TARGETS and TIMESTAMP but no data request; --hang-targets answers
// nothing. Prints "ready" once it owns the selection. Exits 0 when another client takes the
// selection (after finishing the transfers in flight), 2 when the timeout passes (30 s by
// default), 1 on a usage error.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <list>
#include <poll.h>
#include <string>
#include <vector>

namespace {

struct Offer {
    Atom target;
    std::string bytes;
};

// One INCR transfer in flight: the next chunk goes when the requestor deletes the property.
struct Transfer {
    Window requestor;
    Atom property;
    Atom type;
    const std::string* bytes;
    size_t offset = 0;
    bool lastSent = false;
};

struct Options {
    double timeout = 30;
    size_t chunk = 0;
    bool hang = false;
    bool hangTargets = false;
    std::vector<std::pair<std::string, std::string>> offers;
};

[[noreturn]] void usage(const char* message) {
    std::fprintf(stderr,
                 "clip_owner: %s\nusage: clip_owner [--timeout SECONDS] [--chunk BYTES] "
                 "[--hang | --hang-targets] NAME=VALUE|NAME=@FILE...\n",
                 message);
    std::exit(1);
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--timeout" || arg == "--chunk") && i + 1 < argc) {
            char* end = nullptr;
            const double value = std::strtod(argv[++i], &end);
            if (*end || value <= 0)
                usage("a positive number is needed");
            if (arg == "--timeout")
                options.timeout = value;
            else
                options.chunk = size_t(value);
        } else if (arg == "--hang") {
            options.hang = true;
        } else if (arg == "--hang-targets") {
            options.hangTargets = true;
        } else if (const size_t equals = arg.find('='); equals != std::string::npos && equals) {
            std::string value = arg.substr(equals + 1);
            if (!value.empty() && value.front() == '@') {
                std::ifstream file(value.substr(1), std::ios::binary);
                if (!file)
                    usage(("cannot read " + value.substr(1)).c_str());
                value.assign(std::istreambuf_iterator<char>(file), {});
            }
            options.offers.emplace_back(arg.substr(0, equals), std::move(value));
        } else {
            usage(("unknown argument " + arg).c_str());
        }
    }
    if (options.offers.empty())
        usage("nothing to offer");
    return options;
}

// A requestor that goes away mid-transfer leaves our requests failing; that is its business.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

class Owner {
public:
    Owner(Display* display, Options options) : _display(display), _options(std::move(options)) {
        _clipboard = atom("CLIPBOARD");
        _targets = atom("TARGETS");
        _timestamp = atom("TIMESTAMP");
        _incr = atom("INCR");
        for (const auto& [name, bytes] : _options.offers)
            _offers.push_back({atom(name.c_str()), bytes});
        // Without BIG-REQUESTS a property change must fit 256 KiB: that is the default chunk,
        // which every server takes. A larger one is allowed as far as the server goes.
        const long extended = XExtendedMaxRequestSize(display);
        const size_t largest = size_t(extended ? extended : XMaxRequestSize(display)) * 4 - 1024;
        const size_t safe = size_t(XMaxRequestSize(display)) * 4 - 1024;
        _chunk = std::min(_options.chunk ? _options.chunk : safe, largest);
        _window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(display, _window, PropertyChangeMask);
    }

    // Takes the selection with a real server time, as the selection rules ask.
    bool own() {
        XChangeProperty(_display, _window, _timestamp, XA_INTEGER, 32, PropModeAppend, nullptr, 0);
        XEvent event;
        XWindowEvent(_display, _window, PropertyChangeMask, &event);
        _time = event.xproperty.time;
        XSetSelectionOwner(_display, _clipboard, _window, _time);
        return XGetSelectionOwner(_display, _clipboard) == _window;
    }

    // Serves requests until the selection is lost and nothing is in flight; false on timeout.
    bool serve() {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(long(_options.timeout * 1000));
        while (!_lost || !_transfers.empty()) {
            while (XPending(_display)) {
                XEvent event;
                XNextEvent(_display, &event);
                handle(event);
            }
            if (_lost && _transfers.empty())
                break;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd readable{ConnectionNumber(_display), POLLIN, 0};
            poll(&readable, 1, int(std::min<long>(left.count(), 1000)));
        }
        return true;
    }

private:
    Atom atom(const char* name) { return XInternAtom(_display, name, False); }

    void handle(const XEvent& event) {
        switch (event.type) {
        case SelectionClear:
            if (event.xselectionclear.selection == _clipboard)
                _lost = true;
            break;
        case SelectionRequest:
            request(event.xselectionrequest);
            break;
        case PropertyNotify:
            if (event.xproperty.state == PropertyDelete)
                nextChunk(event.xproperty.window, event.xproperty.atom);
            break;
        default:
            break;
        }
    }

    void notify(const XSelectionRequestEvent& request, Atom property) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.display = _display;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.property = property;
        reply.xselection.time = request.time;
        XSendEvent(_display, request.requestor, False, NoEventMask, &reply);
        XFlush(_display);
    }

    void request(const XSelectionRequestEvent& request) {
        if (_options.hangTargets)
            return;
        // A requestor from before the convention of naming a property wants the target's name.
        const Atom property = request.property == None ? request.target : request.property;
        if (request.selection != _clipboard || _lost ||
            (request.time != CurrentTime && request.time < _time)) {
            notify(request, None);
            return;
        }
        if (request.target == _targets) {
            std::vector<long> targets{long(_targets)};
            for (const Offer& offer : _offers)
                targets.push_back(long(offer.target));
            XChangeProperty(_display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(targets.data()),
                            int(targets.size()));
            notify(request, property);
            return;
        }
        if (request.target == _timestamp) {
            const long time = long(_time);
            XChangeProperty(_display, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&time), 1);
            notify(request, property);
            return;
        }
        const auto offer = std::find_if(_offers.begin(), _offers.end(),
                                        [&](const Offer& o) { return o.target == request.target; });
        if (offer == _offers.end()) {
            notify(request, None);
            return;
        }
        if (_options.hang)
            return;
        if (offer->bytes.size() <= _chunk) {
            XChangeProperty(_display, request.requestor, property, offer->target, 8,
                            PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offer->bytes.data()),
                            int(offer->bytes.size()));
            notify(request, property);
            return;
        }
        // INCR: announce the size, then one chunk each time the requestor deletes the property.
        _transfers.remove_if([&](const Transfer& transfer) {
            return transfer.requestor == request.requestor && transfer.property == property;
        });
        XSelectInput(_display, request.requestor, PropertyChangeMask);
        const long size = long(offer->bytes.size());
        XChangeProperty(_display, request.requestor, property, _incr, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&size), 1);
        _transfers.push_back({request.requestor, property, offer->target, &offer->bytes});
        notify(request, property);
    }

    void nextChunk(Window requestor, Atom property) {
        const auto transfer =
            std::find_if(_transfers.begin(), _transfers.end(), [&](const Transfer& t) {
                return t.requestor == requestor && t.property == property;
            });
        if (transfer == _transfers.end())
            return;
        if (transfer->lastSent) {
            _transfers.erase(transfer);
            if (std::none_of(_transfers.begin(), _transfers.end(),
                             [&](const Transfer& t) { return t.requestor == requestor; }))
                XSelectInput(_display, requestor, NoEventMask);
            return;
        }
        const size_t size = std::min(_chunk, transfer->bytes->size() - transfer->offset);
        // The empty chunk closes the transfer.
        XChangeProperty(
            _display, requestor, property, transfer->type, 8, PropModeReplace,
            reinterpret_cast<const unsigned char*>(transfer->bytes->data() + transfer->offset),
            int(size));
        XFlush(_display);
        transfer->offset += size;
        transfer->lastSent = size == 0;
    }

    Display* _display;
    Options _options;
    std::vector<Offer> _offers;
    std::list<Transfer> _transfers;
    Window _window;
    Atom _clipboard, _targets, _timestamp, _incr;
    Time _time = CurrentTime;
    size_t _chunk;
    bool _lost = false;
};

} // namespace

int main(int argc, char** argv) {
    Options options = parse(argc, argv);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "clip_owner: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    Owner owner(display, std::move(options));
    if (!owner.own()) {
        std::fprintf(stderr, "clip_owner: could not take the clipboard\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const bool lost = owner.serve();
    XCloseDisplay(display);
    return lost ? 0 : 2;
}
