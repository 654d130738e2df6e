#include "bench/GnomeDesktop.h"

namespace {

// The shell's windows of that process, as a script for it.
QString windowsOf(qint64 pid) {
    return QStringLiteral("global.get_window_actors().map(actor => actor.meta_window)"
                          ".filter(window => window.get_pid() === %1)")
        .arg(pid);
}

} // namespace

GnomeDesktop::GnomeDesktop(const QString& kelvrin) : _gnome({kelvrin}) {}

qint64 GnomeDesktop::focusedPid() const {
    return _gnome
        .eval(QStringLiteral("global.display.focus_window ? "
                             "global.display.focus_window.get_pid() : 0"))
        .value_or(QString())
        .toLongLong();
}

bool GnomeDesktop::showsWindowOf(qint64 pid) const {
    return _gnome.eval(windowsOf(pid) + QStringLiteral(".length > 0")) == u"true";
}

void GnomeDesktop::closeWindowsOf(qint64 pid) const {
    _gnome.eval(windowsOf(pid) +
                QStringLiteral(".forEach(window => window.delete(global.get_current_time()))"));
}

void GnomeDesktop::pressPasteKey() const {
    _gnome.press({QStringLiteral("Control_L"), QStringLiteral("Down")});
}

void GnomeDesktop::pressReturn() const {
    _gnome.press({QStringLiteral("Return")});
}
