// A clipboard owner on plain Xlib, standing in for the programs people copy from: it offers the
// given types in exactly the given order, which no ready-made tool lets us choose, and can
// misbehave as careless or broken owners do.
//
//   clip_owner [OPTION [VALUE]]... NAME=VALUE|NAME=@FILE...
//
// Prints "ready" once it owns CLIPBOARD, and with --report "asked TARGET" for each request. Data
// larger than --chunk BYTES goes by INCR. Exits 0 once another client took the selection and the
// transfers in flight are done, 2 after --timeout SECONDS (30), 1 on a usage error.
//   --delay | --targets-delay | --trickle SECONDS  each data request | TARGETS | each INCR chunk
//                          answered that late, even once the selection is lost
//   --bad-targets random|format8|type  TARGETS led by numbers naming no atom and atoms naming no
//                          type | as 8-bit items | typed STRING
//   --incr-stall | --incr-size BYTES  every answer by INCR, no chunk following | announcing BYTES
//   --data-format 16|32 | --data-type NAME  data as 16- or 32-bit items | under another type
//   --churn SECONDS        takes the selection anew every millisecond from two windows by turns,
//                          then prints "churned TAKES" and owns it as usual
//   --retake SECONDS       takes the selection anew that often, by turns from two windows, for
//                          as long as it runs, as a hung or hostile owner may
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <list>
#include <map>
#include <poll.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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
    double timeout = 30, chunk = 0, incrSize = -1, dataFormat = 8, churn = 0, delay = 0,
           targetsDelay = 0, trickle = 0, retake = 0;
    bool report = false, incrStall = false;
    std::string badTargets, dataType;
    std::vector<std::pair<std::string, std::string>> offers;
};

[[noreturn]] void usage(const std::string& message) {
    std::fprintf(stderr,
                 "clip_owner: %s\nusage: clip_owner [OPTION [VALUE]]... NAME=VALUE|NAME=@FILE...\n",
                 message.c_str());
    std::exit(1);
}

Options parse(int argc, char** argv) {
    Options o;
    const std::map<std::string, double*> numbers{
        {"--timeout", &o.timeout},    {"--chunk", &o.chunk},
        {"--incr-size", &o.incrSize}, {"--data-format", &o.dataFormat},
        {"--churn", &o.churn},        {"--retake", &o.retake},
        {"--delay", &o.delay},        {"--targets-delay", &o.targetsDelay},
        {"--trickle", &o.trickle}};
    const std::map<std::string, std::string*> words{{"--bad-targets", &o.badTargets},
                                                    {"--data-type", &o.dataType}};
    const std::map<std::string, bool*> flags{{"--report", &o.report},
                                             {"--incr-stall", &o.incrStall}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        if (flags.count(arg)) {
            *flags.at(arg) = true;
        } else if (numbers.count(arg) && i + 1 < argc) {
            char* end = nullptr;
            if ((*numbers.at(arg) = std::strtod(argv[++i], &end)) <= 0 || *end)
                usage("a positive number is needed after " + arg);
        } else if (words.count(arg) && i + 1 < argc) {
            *words.at(arg) = argv[++i];
        } else if (arg[0] != '-' && equals != std::string::npos && equals) {
            std::string value = arg.substr(equals + 1);
            if (!value.empty() && value.front() == '@') {
                std::ifstream file(value.substr(1), std::ios::binary);
                if (!file)
                    usage("cannot read " + value.substr(1));
                value.assign(std::istreambuf_iterator<char>(file), {});
            }
            o.offers.emplace_back(arg.substr(0, equals), std::move(value));
        } else {
            usage("unknown argument " + arg);
        }
    }
    if (o.offers.empty())
        usage("nothing to offer");
    if (o.dataFormat != 8 && o.dataFormat != 16 && o.dataFormat != 32)
        usage("a format is 8, 16 or 32");
    return o;
}

// A requestor that goes away mid-transfer leaves our requests failing; that is its business.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

// The bytes as items of the given format, zero-padded to whole items, in the array type Xlib
// takes for it: char for 8, short for 16 and long for 32.
std::vector<unsigned char> asItems(const std::string& bytes, int format, int* count) {
    const size_t unit = size_t(format / 8), items = (bytes.size() + unit - 1) / unit;
    const size_t width = format == 32 ? sizeof(long) : unit;
    std::vector<unsigned char> out(std::max<size_t>(items, 1) * width, 0);
    for (size_t item = 0; item < items; ++item)
        std::memcpy(out.data() + item * width, bytes.data() + item * unit,
                    std::min(unit, bytes.size() - item * unit));
    *count = int(items);
    return out;
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
        if (!_options.dataType.empty())
            _dataType = atom(_options.dataType.c_str());
        // Without BIG-REQUESTS a property change must fit 256 KiB: that is the default chunk,
        // which every server takes. A larger one is allowed as far as the server goes.
        const long extended = XExtendedMaxRequestSize(display);
        const size_t largest = size_t(extended ? extended : XMaxRequestSize(display)) * 4 - 1024;
        const size_t safe = size_t(XMaxRequestSize(display)) * 4 - 1024;
        _chunk = std::min(_options.chunk > 0 ? size_t(_options.chunk) : safe, largest);
        for (Window& window : _windows) {
            window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
            XSelectInput(display, window, PropertyChangeMask);
        }
    }

    // Takes the selection with a real server time, as the selection rules ask; the churn takes it
    // by turns from the other window.
    bool own(int which = 0) {
        const Window window = _windows[which];
        XChangeProperty(_display, window, _timestamp, XA_INTEGER, 32, PropModeAppend, nullptr, 0);
        XEvent event;
        XWindowEvent(_display, window, PropertyChangeMask, &event);
        _times[which] = event.xproperty.time;
        _owning = which;
        XSetSelectionOwner(_display, _clipboard, window, _times[which]);
        return XGetSelectionOwner(_display, _clipboard) == window;
    }

    // Serves requests until the selection is lost and nothing is in flight; false on timeout.
    bool serve() {
        const auto deadline =
            Clock::now() + std::chrono::milliseconds(long(_options.timeout * 1000));
        if (_options.churn > 0)
            churn();
        if (_options.retake > 0)
            later(_options.retake, [this] { retake(); });
        while (true) {
            handlePending();
            runDue();
            if (_lost && _transfers.empty() && _later.empty())
                return true;
            auto wake = std::min(deadline, Clock::now() + std::chrono::seconds(1));
            for (const auto& [due, act] : _later)
                wake = std::min(wake, due);
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now());
            if (Clock::now() >= deadline)
                return false;
            pollfd readable{ConnectionNumber(_display), POLLIN, 0};
            poll(&readable, 1, int(std::max<long>(left.count(), 0)));
        }
    }

private:
    Atom atom(const char* name) { return XInternAtom(_display, name, False); }

    // Does it that long from now; done meanwhile, the rest goes on as usual.
    void later(double seconds, std::function<void()> act) {
        _later.emplace_back(Clock::now() + std::chrono::milliseconds(long(seconds * 1000)),
                            std::move(act));
    }

    void runDue() {
        for (auto next = _later.begin(); next != _later.end();) {
            if (next->first > Clock::now()) {
                ++next;
                continue;
            }
            const std::function<void()> act = std::move(next->second);
            next = _later.erase(next);
            act();
            XFlush(_display);
        }
    }

    void handlePending() {
        while (XPending(_display)) {
            XEvent event;
            XNextEvent(_display, &event);
            handle(event);
        }
    }

    // A clipboard that changes hands a thousand times a second, answering requests between.
    void churn() {
        const auto end = Clock::now() + std::chrono::milliseconds(long(_options.churn * 1000));
        long takes = 0;
        while (!_lost && Clock::now() < end) {
            own(1 - _owning);
            ++takes;
            handlePending();
            pollfd readable{ConnectionNumber(_display), POLLIN, 0};
            poll(&readable, 1, 1);
        }
        std::printf("churned %ld\n", takes);
        std::fflush(stdout);
    }

    void retake() {
        if (_lost)
            return;
        own(1 - _owning);
        later(_options.retake, [this] { retake(); });
    }

    void handle(const XEvent& event) {
        // Our other window taking over is the churn, not a loss.
        if (event.type == SelectionClear)
            _lost |= event.xselectionclear.selection == _clipboard &&
                     event.xselectionclear.window == _windows[_owning];
        else if (event.type == SelectionRequest)
            request(event.xselectionrequest);
        else if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete)
            nextChunk(event.xproperty.window, event.xproperty.atom);
    }

    void notify(const XSelectionRequestEvent& request, Atom property) {
        XEvent reply{};
        reply.xselection = {
            SelectionNotify, 0,        True,        _display, request.requestor, request.selection,
            request.target,  property, request.time};
        XSendEvent(_display, request.requestor, False, NoEventMask, &reply);
        XFlush(_display);
    }

    void answerTargets(const XSelectionRequestEvent& request, Atom property) {
        std::vector<long> targets;
        if (_options.badTargets == "random") {
            // Far above any atom a server has made.
            for (long i = 1; i <= 16; ++i)
                targets.push_back(0x40000000 + i * 7919);
            targets.push_back(long(XA_PRIMARY));
            targets.push_back(long(XA_WM_NAME));
            targets.push_back(long(XA_INTEGER));
            targets.push_back(0);
        }
        targets.push_back(long(_targets));
        for (const Offer& offer : _offers)
            targets.push_back(long(offer.target));
        if (_options.badTargets == "format8") {
            const std::vector<uint32_t> items(targets.begin(), targets.end());
            XChangeProperty(_display, request.requestor, property, XA_ATOM, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(items.data()),
                            int(items.size() * 4));
        } else {
            XChangeProperty(_display, request.requestor, property,
                            _options.badTargets == "type" ? XA_STRING : XA_ATOM, 32,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(targets.data()),
                            int(targets.size()));
        }
        notify(request, property);
    }

    void request(const XSelectionRequestEvent& request) {
        if (_options.report) {
            char* name = XGetAtomName(_display, request.target);
            std::printf("asked %s\n", name ? name : "?");
            std::fflush(stdout);
            XFree(name);
        }
        const int which = request.owner == _windows[1] ? 1 : 0;
        const bool refused = request.selection != _clipboard || _lost ||
                             (request.time != CurrentTime && request.time < _times[which]);
        const double wait = request.target == _targets     ? _options.targetsDelay
                            : request.target == _timestamp ? 0
                                                           : _options.delay;
        if (wait > 0)
            later(wait, [this, request, refused] { answer(request, refused); });
        else
            answer(request, refused);
    }

    void answer(const XSelectionRequestEvent& request, bool refused) {
        // A requestor from before the convention of naming a property wants the target's name.
        const Atom property = request.property == None ? request.target : request.property;
        const int which = request.owner == _windows[1] ? 1 : 0;
        if (refused) {
            notify(request, None);
            return;
        }
        if (request.target == _targets) {
            answerTargets(request, property);
            return;
        }
        if (request.target == _timestamp) {
            const long time = long(_times[which]);
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
        const Atom type = _dataType != None ? _dataType : offer->target;
        const bool incr = _options.incrStall || _options.incrSize >= 0;
        if (!incr && offer->bytes.size() <= _chunk) {
            int count = 0;
            const std::vector<unsigned char> items =
                asItems(offer->bytes, int(_options.dataFormat), &count);
            XChangeProperty(_display, request.requestor, property, type, int(_options.dataFormat),
                            PropModeReplace, items.data(), count);
            notify(request, property);
            return;
        }
        // INCR: announce the size, then one chunk each time the requestor deletes the property.
        if (const auto old = findTransfer(request.requestor, property); old != _transfers.end())
            _transfers.erase(old);
        XSelectInput(_display, request.requestor, PropertyChangeMask);
        const long size =
            _options.incrSize >= 0 ? long(_options.incrSize) : long(offer->bytes.size());
        XChangeProperty(_display, request.requestor, property, _incr, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&size), 1);
        // A stalled transfer is never finished: the requestor has to give up on its own.
        if (!_options.incrStall)
            _transfers.push_back({request.requestor, property, type, &offer->bytes});
        notify(request, property);
    }

    std::list<Transfer>::iterator findTransfer(Window requestor, Atom property) {
        return std::find_if(_transfers.begin(), _transfers.end(), [&](const Transfer& t) {
            return t.requestor == requestor && t.property == property;
        });
    }

    void nextChunk(Window requestor, Atom property) {
        const auto transfer = findTransfer(requestor, property);
        if (transfer == _transfers.end())
            return;
        if (transfer->lastSent) {
            _transfers.erase(transfer);
            if (std::none_of(_transfers.begin(), _transfers.end(),
                             [&](const Transfer& t) { return t.requestor == requestor; }))
                XSelectInput(_display, requestor, NoEventMask);
            return;
        }
        if (_options.trickle > 0)
            later(_options.trickle, [=, this] { sendChunk(requestor, property); });
        else
            sendChunk(requestor, property);
    }

    void sendChunk(Window requestor, Atom property) {
        const auto transfer = findTransfer(requestor, property);
        if (transfer == _transfers.end() || transfer->lastSent)
            return;
        const size_t size = std::min(_chunk, transfer->bytes->size() - transfer->offset);
        // The empty chunk closes the transfer.
        int count = 0;
        const std::vector<unsigned char> items = asItems(
            transfer->bytes->substr(transfer->offset, size), int(_options.dataFormat), &count);
        XChangeProperty(_display, requestor, property, transfer->type, int(_options.dataFormat),
                        PropModeReplace, items.data(), size ? count : 0);
        XFlush(_display);
        transfer->offset += size;
        transfer->lastSent = size == 0;
    }

    Display* _display;
    Options _options;
    std::vector<Offer> _offers;
    std::list<Transfer> _transfers;
    std::list<std::pair<Clock::time_point, std::function<void()>>> _later;
    Window _windows[2] = {};
    Time _times[2] = {CurrentTime, CurrentTime};
    int _owning = 0;
    Atom _clipboard, _targets, _timestamp, _incr;
    Atom _dataType = None;
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
