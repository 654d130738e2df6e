#pragma once

#include "platform/Pasteboard.h"

#include <QObject>
#include <memory>

class WaylandConnection;

// The Wayland compositor's clipboard, watched and written with no window of ours focused, through
// the data-control protocol on our own connection (ext_data_control_manager_v1 where offered,
// else zwlr_data_control_manager_v1). Every selection the compositor announces advances the
// change count as it arrives, so reading the count costs no round trip. Kelvrin's own write is
// counted once, when it is made: the compositor's announcement of it comes back, recognised as
// the last selection announced before the compositor answers a sync sent with the write, and is
// neither counted again nor read through the compositor from ourselves. A copy made in one of
// Kelvrin's own text fields is new content like any other, read from Qt, which owns it on the
// thread that answers the user, and so taken from Qt as it is noticed. Another program's content
// is read by the captures, away from that thread: each type through a pipe its owner writes into.
// What we offer is written as each reader takes it, never holding up the event loop, and a write
// never waits for the compositor: the paste keystroke that follows it goes through the same
// connection, which the compositor serves in order. A write the compositor cannot take (it
// ended our access to the clipboard) fails, and a new access is asked for.
//
// The device goes with its seat and is made anew for the next seat; when our connection breaks,
// the clipboard is made anew on the next one, its change count going on. Without data-control
// it says so once, captures nothing, and writes through Qt's clipboard, which the compositor
// takes while one of our windows has the keyboard.
class WaylandPasteboard : public Pasteboard {
public:
    explicit WaylandPasteboard(WaylandConnection& wayland);
    ~WaylandPasteboard() override;

    qint64 changeCount() const override;
    std::shared_ptr<PasteboardContent> content() override;
    std::optional<qint64> contentGoneWithOwner() const override;

    // The data-control side, one implementation for both protocols.
    class Clipboard;

protected:
    std::optional<qint64> writeNames(const QList<std::pair<QString, QByteArray>>& named) override;
    void writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) override;

private:
    // Binds data-control, where the compositor offers it, its count going on from ours.
    void bindClipboard();

    WaylandConnection& _wayland;
    std::unique_ptr<Clipboard> _clipboard;
    // Whether the compositor offered data-control at the start: without it, Kelvrin's own writes
    // go through Qt's clipboard.
    bool _dataControl = false;
    // The count while there is no clipboard of ours: Kelvrin's own writes through Qt, or the
    // count reached before the connection broke.
    qint64 _count = 0;
    // The context of what we hear from the connection.
    QObject _following;
};
