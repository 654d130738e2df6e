#pragma once

#include "platform/Pasteboard.h"
#include "platform/Transfer.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <xcb/xcb.h>

#include <chrono>
#include <optional>
#include <stop_token>
#include <vector>

// Reads the CLIPBOARD selection over an X connection of its own, with hidden windows to hear of
// owner changes and to receive the owner's answers: Qt's connection has a reader thread of its
// own that takes every event, and a transfer through it costs wake-ups and round trips a capture
// does not need. One reader serves one thread at a time. Every wait for the owner is bounded by
// the transfer timeout, and every transfer as a whole by the limit of the transfer it is part of.
//
// Each request has a property of its own and is stamped with the server's time, and only the
// answer naming the requestor, property, target and time is taken as its answer. A transfer
// given up leaves its window behind for a new one: whatever its owner still sends, a late answer
// or the chunks of a long transfer, goes to a window that is no more.
class SelectionReader {
public:
    // Connects to the display so named; an empty name is $DISPLAY.
    explicit SelectionReader(const QByteArray& displayName);
    ~SelectionReader();
    SelectionReader(const SelectionReader&) = delete;
    SelectionReader& operator=(const SelectionReader&) = delete;

    bool isOpen() const { return _requestor != XCB_WINDOW_NONE; }

    // From now on every change of the selection's owner is noticed (XFixes). False when the
    // server cannot tell.
    bool watchOwner();
    // A change of the selection's owner: a new owner, or the owner gone (its window destroyed or
    // its connection closed) with nobody in its place.
    struct OwnerChange {
        xcb_window_t owner;
        bool ownerLeft;
    };
    // The changes noticed since the last call, oldest first. Takes only what the server has
    // already sent: no round trip.
    std::vector<OwnerChange> takeOwnerChanges();
    // The selection's owner now (a round trip).
    xcb_window_t owner();

    // What the owner offers, its names in its order; absent when it does not answer as it
    // should. The names of every atom are asked of the server once.
    std::optional<PasteboardOffer> targets(const Transfer& transfer);
    // The bytes the owner offers under a name, empty when it offers nothing under it, absent when
    // it refuses, fails, sends more than allowed or runs out of the transfer's time, or when the
    // transfer is stopped (which is looked at every few tens of milliseconds meanwhile).
    std::optional<QByteArray> read(const QString& name, qsizetype allowed,
                                   const Transfer& transfer);

private:
    // Asks the owner to convert the selection to a target; the reply of its SelectionNotify, as
    // the property it wrote (deleted as it is read), or absent.
    struct Property {
        xcb_atom_t type;
        uint8_t format;
        QByteArray bytes;
    };
    std::optional<Property> convert(xcb_atom_t target, qsizetype allowed);
    // The value of the request's property, deleted as it is read; absent when it has none or
    // holds more than the bytes allowed, which are then not read at all.
    std::optional<Property> takeProperty(qsizetype allowed);
    std::optional<QByteArray> readIncrementally(qsizetype allowed);
    // The server's time now, learnt from the notice of a property change on the requestor;
    // absent when it does not come or the selection changes owner meanwhile.
    std::optional<xcb_timestamp_t> serverTime();
    // Takes the property for the next request: each in turn of a few, so that no two requests
    // in a row share one.
    void takeNextProperty();
    // A window of our own, for answers (with property notices) or for owner notices.
    xcb_window_t createWindow(uint32_t events);
    // Replaces the requestor after a transfer was given up on.
    void abandonTransfer();
    // The next event that satisfies the test, keeping owner notices met on the way; null when the
    // transfer timeout or the transfer's limit passes, a stop is asked for, the selection changes
    // owner or the connection breaks.
    template <typename Test> xcb_generic_event_t* waitForEvent(Test test);
    // Takes every event the server has sent, keeping the owner notices.
    void drain();
    // Keeps an owner notice; false for any other event.
    bool keepOwnerNotice(const xcb_generic_event_t* event);

    xcb_atom_t atom(const QByteArray& name);
    // The names of atoms, each asked of the server once; garbage that names no atom is left out.
    QStringList names(const std::vector<xcb_atom_t>& atoms);

    // The transfer the request in flight is part of.
    const Transfer* _transfer = nullptr;
    xcb_connection_t* _connection = nullptr;
    xcb_window_t _root = XCB_WINDOW_NONE;
    // Owner notices come to the watcher, answers to the requestor.
    xcb_window_t _watcher = XCB_WINDOW_NONE;
    xcb_window_t _requestor = XCB_WINDOW_NONE;
    xcb_atom_t _clipboard = XCB_ATOM_NONE;
    std::vector<xcb_atom_t> _properties;
    size_t _requests = 0;
    // The property of the request in flight.
    xcb_atom_t _property = XCB_ATOM_NONE;
    xcb_atom_t _targets = XCB_ATOM_NONE;
    xcb_atom_t _incr = XCB_ATOM_NONE;
    uint8_t _xfixesFirstEvent = 0;
    std::vector<OwnerChange> _ownerChanges;
    QHash<QByteArray, xcb_atom_t> _atoms;
    QHash<xcb_atom_t, QString> _names;
};
