#include "platform/x11/SelectionReader.h"

#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// How many properties the requests take in turn.
constexpr int kPropertyCount = 4;
// Most answers fit in a first look at the property; a larger one is read on only when it is
// within the bytes allowed, so an owner that writes gigabytes costs no more than this.
constexpr uint32_t kFirstLookBytes = 1 << 20;

// XCB hands replies over to be freed with free().
struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply> std::unique_ptr<Reply, FreeReply> freed(Reply* reply) {
    return std::unique_ptr<Reply, FreeReply>(reply);
}

} // namespace

SelectionReader::SelectionReader(const QByteArray& displayName) {
    int screenNumber = 0;
    _connection =
        xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (xcb_connection_has_error(_connection))
        return;
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(_connection));
    for (int i = 0; i < screenNumber && screen.rem > 1; ++i)
        xcb_screen_next(&screen);
    _root = screen.data->root;

    _clipboard = atom("CLIPBOARD");
    _targets = atom("TARGETS");
    _incr = atom("INCR");
    for (int i = 0; i < kPropertyCount; ++i)
        _properties.push_back(atom("KELVRIN_SELECTION_" + QByteArray::number(i)));
    if (!_clipboard || !_targets || !_incr || std::ranges::count(_properties, XCB_ATOM_NONE))
        return;
    _watcher = createWindow(0);
    // Property notices carry the server's time and the chunks of long transfers.
    _requestor = createWindow(XCB_EVENT_MASK_PROPERTY_CHANGE);
    xcb_flush(_connection);
}

xcb_window_t SelectionReader::createWindow(uint32_t events) {
    const xcb_window_t window = xcb_generate_id(_connection);
    xcb_create_window(_connection, XCB_COPY_FROM_PARENT, window, _root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    return window;
}

void SelectionReader::abandonTransfer() {
    xcb_destroy_window(_connection, _requestor);
    _requestor = createWindow(XCB_EVENT_MASK_PROPERTY_CHANGE);
    xcb_flush(_connection);
}

void SelectionReader::takeNextProperty() {
    _property = _properties[_requests++ % _properties.size()];
}

SelectionReader::~SelectionReader() {
    xcb_disconnect(_connection);
}

bool SelectionReader::watchOwner() {
    if (!isOpen())
        return false;
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(_connection, &xcb_xfixes_id);
    if (!extension || !extension->present)
        return false;
    // The server speaks XFixes to a client only once it has said which version it knows.
    std::free(xcb_xfixes_query_version_reply(
        _connection,
        xcb_xfixes_query_version(_connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    _xfixesFirstEvent = extension->first_event;
    xcb_xfixes_select_selection_input(_connection, _watcher, _clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(_connection);
    return true;
}

bool SelectionReader::keepOwnerNotice(const xcb_generic_event_t* event) {
    if (!_xfixesFirstEvent ||
        (event->response_type & 0x7f) != _xfixesFirstEvent + XCB_XFIXES_SELECTION_NOTIFY)
        return false;
    const auto* notice = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (notice->selection != _clipboard)
        return false;
    const bool ownerLeft = notice->subtype != XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER;
    _ownerChanges.push_back({ownerLeft ? xcb_window_t(XCB_WINDOW_NONE) : notice->owner, ownerLeft});
    return true;
}

void SelectionReader::drain() {
    if (!isOpen())
        return;
    // Whatever else waits here is an answer to an abandoned transfer.
    while (xcb_generic_event_t* event = xcb_poll_for_event(_connection)) {
        keepOwnerNotice(event);
        std::free(event);
    }
}

std::vector<SelectionReader::OwnerChange> SelectionReader::takeOwnerChanges() {
    drain();
    return std::exchange(_ownerChanges, {});
}

xcb_window_t SelectionReader::owner() {
    if (!isOpen())
        return XCB_WINDOW_NONE;
    const auto reply = freed(xcb_get_selection_owner_reply(
        _connection, xcb_get_selection_owner(_connection, _clipboard), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

template <typename Test> xcb_generic_event_t* SelectionReader::waitForEvent(Test test) {
    const Transfer::Clock::time_point deadline = _transfer->nextDeadline();
    for (;;) {
        xcb_generic_event_t* event = xcb_poll_for_event(_connection);
        if (!event) {
            if (xcb_connection_has_error(_connection) || _transfer->givenUp(deadline))
                return nullptr;
            _transfer->waitReadable(xcb_get_file_descriptor(_connection), deadline);
            continue;
        }
        if (test(event))
            return event;
        // A new owner took the selection: what was being read is no longer the content, and its
        // old owner may never answer.
        const bool ownerChanged = keepOwnerNotice(event);
        std::free(event);
        if (ownerChanged)
            return nullptr;
    }
}

std::optional<SelectionReader::Property> SelectionReader::takeProperty(qsizetype allowed) {
    // Deleting the property as it is read is what asks an owner for the next chunk; a property
    // longer than one look is deleted only by the look that reads its end.
    const auto look = [&](uint32_t offsetBytes, uint32_t lengthBytes) {
        return freed(xcb_get_property_reply(
            _connection,
            xcb_get_property(_connection, 1, _requestor, _property, XCB_GET_PROPERTY_TYPE_ANY,
                             offsetBytes / 4, (lengthBytes + 3) / 4),
            nullptr));
    };
    const auto first = look(0, uint32_t(std::min<qsizetype>(kFirstLookBytes, allowed + 1)));
    if (!first || first->type == XCB_ATOM_NONE)
        return std::nullopt;
    const auto value = [](const xcb_get_property_reply_t* reply) {
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                          xcb_get_property_value_length(reply));
    };
    QByteArray bytes = value(first.get());
    if (bytes.size() + qsizetype(first->bytes_after) > allowed)
        return std::nullopt;
    if (first->bytes_after > 0) {
        const auto rest = look(uint32_t(bytes.size()), first->bytes_after);
        if (!rest || rest->type != first->type || rest->bytes_after > 0)
            return std::nullopt;
        bytes += value(rest.get());
    }
    return Property{first->type, first->format, bytes};
}

std::optional<xcb_timestamp_t> SelectionReader::serverTime() {
    // Appending nothing changes nothing but still earns the notice with its time (ICCCM 2.1).
    xcb_change_property(_connection, XCB_PROP_MODE_APPEND, _requestor, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(_connection);
    xcb_generic_event_t* event = waitForEvent([&](const xcb_generic_event_t* candidate) {
        if ((candidate->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(candidate);
        return notify->window == _requestor && notify->atom == XCB_ATOM_WM_NAME;
    });
    if (!event)
        return std::nullopt;
    const xcb_timestamp_t time = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
    std::free(event);
    return time;
}

std::optional<SelectionReader::Property> SelectionReader::convert(xcb_atom_t target,
                                                                  qsizetype allowed) {
    if (!isOpen() || !target)
        return std::nullopt;
    // Notices that arrived before the request belong to earlier contents: they are kept, and
    // only a change after it stops the transfer.
    drain();
    const std::optional<xcb_timestamp_t> time = serverTime();
    if (!time)
        return std::nullopt;
    takeNextProperty();
    xcb_convert_selection(_connection, _requestor, _clipboard, target, _property, *time);
    xcb_flush(_connection);
    xcb_generic_event_t* event = waitForEvent([&](const xcb_generic_event_t* candidate) {
        if ((candidate->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(candidate);
        // An owner that refuses answers with no property.
        return notify->requestor == _requestor && notify->selection == _clipboard &&
               notify->target == target && notify->time == *time &&
               (notify->property == _property || notify->property == XCB_ATOM_NONE);
    });
    if (!event) {
        abandonTransfer();
        return std::nullopt;
    }
    const bool refused =
        reinterpret_cast<xcb_selection_notify_event_t*>(event)->property == XCB_ATOM_NONE;
    std::free(event);
    if (refused)
        return std::nullopt;
    std::optional<Property> answer = takeProperty(allowed);
    if (!answer)
        abandonTransfer();
    return answer;
}

std::optional<QByteArray> SelectionReader::readIncrementally(qsizetype allowed) {
    QByteArray bytes;
    for (;;) {
        xcb_generic_event_t* event = waitForEvent([&](const xcb_generic_event_t* candidate) {
            if ((candidate->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(candidate);
            return notify->window == _requestor && notify->atom == _property &&
                   notify->state == XCB_PROPERTY_NEW_VALUE;
        });
        const bool arrived = event != nullptr;
        std::free(event);
        const std::optional<Property> chunk =
            arrived ? takeProperty(allowed - bytes.size()) : std::nullopt;
        if (!chunk || (chunk->format != 8 && !chunk->bytes.isEmpty())) {
            abandonTransfer();
            return std::nullopt;
        }
        // An empty chunk ends the transfer.
        if (chunk->bytes.isEmpty())
            return bytes;
        bytes += chunk->bytes;
    }
}

std::optional<PasteboardOffer> SelectionReader::targets(const Transfer& transfer) {
    _transfer = &transfer;
    const std::optional<Property> list = convert(_targets, Transfer::kMaxTypeListBytes);
    if (!list || list->format != 32 || (list->type != XCB_ATOM_ATOM && list->type != _targets))
        return std::nullopt;
    std::vector<xcb_atom_t> atoms(size_t(list->bytes.size()) / 4);
    std::memcpy(atoms.data(), list->bytes.constData(), atoms.size() * 4);
    // Of garbage only the first names are looked up; the mark is found among all by its atom.
    PasteboardOffer offer;
    const xcb_atom_t mark =
        atom(QByteArray(PasteboardOffer::kSecretMark.data(), PasteboardOffer::kSecretMark.size()));
    offer.marked = mark && std::ranges::find(atoms, mark) != atoms.end();
    atoms.resize(std::min<size_t>(atoms.size(), PasteboardOffer::kMaxNames));
    for (const QString& name : names(atoms))
        offer.add(name);
    return offer;
}

std::optional<QByteArray> SelectionReader::read(const QString& name, qsizetype allowed,
                                                const Transfer& transfer) {
    _transfer = &transfer;
    const std::optional<Property> property = convert(atom(name.toLatin1()), allowed);
    if (!property)
        return std::nullopt;
    if (property->type == _incr)
        return readIncrementally(allowed);
    // Text and pictures come as bytes; anything else is not what the name promised.
    if (property->format != 8)
        return std::nullopt;
    return property->bytes;
}

xcb_atom_t SelectionReader::atom(const QByteArray& name) {
    if (const auto known = _atoms.constFind(name); known != _atoms.cend())
        return *known;
    const auto reply = freed(xcb_intern_atom_reply(
        _connection, xcb_intern_atom(_connection, 0, uint16_t(name.size()), name.constData()),
        nullptr));
    if (!reply)
        return XCB_ATOM_NONE;
    _atoms.insert(name, reply->atom);
    _names.insert(reply->atom, QString::fromLatin1(name));
    return reply->atom;
}

QStringList SelectionReader::names(const std::vector<xcb_atom_t>& atoms) {
    // Every unknown name is asked for before any answer is awaited: one round trip in all.
    std::vector<std::pair<xcb_atom_t, xcb_get_atom_name_cookie_t>> asked;
    for (const xcb_atom_t atom : atoms)
        if (atom && !_names.contains(atom) &&
            std::none_of(asked.begin(), asked.end(),
                         [&](const auto& a) { return a.first == atom; }))
            asked.emplace_back(atom, xcb_get_atom_name(_connection, atom));
    for (const auto& [atom, cookie] : asked) {
        xcb_generic_error_t* error = nullptr;
        const auto reply = freed(xcb_get_atom_name_reply(_connection, cookie, &error));
        std::free(error);
        if (!reply)
            continue;
        const QByteArray name(xcb_get_atom_name_name(reply.get()),
                              xcb_get_atom_name_name_length(reply.get()));
        _names.insert(atom, QString::fromLatin1(name));
        _atoms.insert(name, atom);
    }
    QStringList names;
    for (const xcb_atom_t atom : atoms)
        if (const auto name = _names.constFind(atom); name != _names.cend())
            names.append(*name);
    return names;
}
