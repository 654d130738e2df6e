#pragma once

#include "platform/Indicator.h"

#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <optional>
#include <vector>

// Kelvrin's GNOME Shell extension as Kelvrin asks it, on the session bus: the windows, the
// keystroke and the hot key, which Mutter gives no Wayland client. The extension answers only the
// Kelvrin installed beside it, or one the user allowed in its settings.
class GnomeShell : public QObject {
    Q_OBJECT
public:
    struct Window {
        // The extension's number for the window; 0 for none.
        quint32 id = 0;
        // The app_id on Wayland, the class of WM_CLASS on X11.
        QString appId;
        QString instance;
        QString title;
        qint64 pid = 0;
        bool active = false;
    };

    // Whether the extension runs in this session's shell: its name is on the session bus.
    static bool available();
    // Whether it runs and answers this program; before Qt starts too, on a connection of its own.
    static bool answersUs();
    // The extension as the shell's list of extensions knows it.
    enum class Installed { No, Disabled, Enabled };
    static Installed installed();
    // Asks the shell to enable the extension, waiting a moment for it to run; false when it does
    // not, for one the shell learns of only at the next login.
    static bool enable();

    // The window that has the keyboard; nothing when none has, or the extension does not answer.
    std::optional<Window> active() const;
    // Every window, with which one has the keyboard.
    std::vector<Window> windows() const;
    // Activates the window as the shell's task list does; false when there is none such.
    bool activate(quint32 id) const;
    // Whether the clipboard now holds the shell's own copy of what a program that quit had (the
    // shell keeps its text when the owner goes); false when the extension does not answer.
    bool clipboardKeptByShell() const;
    // The clipboard as the shell tells of it.
    struct Clipboard {
        // Grows with each change of the clipboard's owner.
        quint32 serial = 0;
        // What the owner offers, in its order; none when there is no owner.
        QStringList types;
        // Whether it is the shell's own copy of what a program that quit had.
        bool keptByShell = false;
    };
    // changed hears of each change of the clipboard, on this object's thread, once the shell was
    // asked for the clipboard.
    void watchClipboard(std::function<void(const Clipboard&)> changed);
    // The clipboard now; nothing when the extension does not answer.
    std::optional<Clipboard> clipboard() const;
    // Has the shell write what the owner offers under the type into the file descriptor, which it
    // closes when done; from any thread. The answer says whether it was all written: false when
    // the clipboard changed since the serial or the owner failed.
    QDBusPendingCall readClipboard(quint32 serial, const QString& type, int fd) const;
    // Has the shell press the keys (keysyms) in order and release them in the reverse order, once
    // the target has come to the front and, after we wrote the X11 clipboard, once the shell
    // offers it to Wayland programs, only while the target has the keyboard. Returns at once, for
    // the shell may ask us for the clipboard meanwhile; answered calls whether the keys went,
    // false when the target did not come to the front or the extension did not answer.
    void pressKeys(quint32 target, const std::vector<quint32>& keysyms, bool afterX11Clipboard,
                   std::function<void(bool sent)> answered) const;
    // Has the shell hold the combination (as GTK writes accelerators) for us, each press calling
    // pressed with the window in front then; false when it cannot have it.
    bool grab(const QString& accelerator, std::function<void(const Window&)> pressed);
    void release();
    // Has the shell show Kelvrin's icon in its top bar with a menu of the items, chosen hearing
    // the name of each item the user chooses and opened each opening of the menu; false when it
    // cannot.
    bool showIndicator(const QList<Indicator::Item>& items,
                       std::function<void(const QString& name)> chosen,
                       std::function<void()> opened);

private slots:
    void clipboardChanged(quint32 serial, const QStringList& types, bool keptByShell);
    void hotKeyPressed(quint32 id, const QString& appId, const QString& instance,
                       const QString& title, qint64 pid);
    void indicatorItemChosen(const QString& name);
    void indicatorOpened();

private:
    std::function<void(const Clipboard&)> _clipboardChanged;
    std::function<void(const Window&)> _pressed;
    std::function<void(const QString&)> _chosen;
    std::function<void()> _opened;
};
