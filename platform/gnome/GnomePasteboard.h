#pragma once

#include "platform/Pasteboard.h"
#include "platform/gnome/GnomeShell.h"

#include <atomic>
#include <memory>

// The clipboard of GNOME's Wayland session, which Mutter shows no client that has no window with
// the keyboard: Kelvrin's shell extension tells of each change of its owner, with the types
// offered, and has the owner write a type into a pipe of ours. Our own writes go through Qt's
// clipboard, which the shell takes from the window with the keyboard (the paste window, as the
// user chooses a clipping): a write the shell did not take counts as not written. Our own write
// is counted once, when it is made, and not read back through the shell.
class GnomePasteboard : public Pasteboard {
public:
    explicit GnomePasteboard(std::shared_ptr<GnomeShell> shell);

    qint64 changeCount() const override { return _count; }
    std::shared_ptr<PasteboardContent> content() override;
    std::optional<qint64> contentGoneWithOwner() const override;
    std::optional<qint64> contentTakenOverByKeeper() const override;

protected:
    std::optional<qint64> writeNames(const QList<std::pair<QString, QByteArray>>& named) override;
    void writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) override;

private:
    // Counts a change the shell told of, unless it came before what we know already.
    void changed(const GnomeShell::Clipboard& now);

    std::shared_ptr<GnomeShell> _shell;
    qint64 _count = 0;
    GnomeShell::Clipboard _now;
    // The shell's serial of the clipboard now, as the captures reading an older one look at it.
    std::shared_ptr<std::atomic<quint32>> _serial = std::make_shared<std::atomic<quint32>>(0);
    // What we wrote, while it is the clipboard.
    std::optional<HeldContent::Named> _written;
};
