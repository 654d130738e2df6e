#pragma once

#include "platform/HotKey.h"

#include <QObject>
#include <QStringList>

// The hot key as a global shortcut of KDE's shortcut daemon (org.kde.kglobalaccel on the session
// bus; KWin runs it on Plasma's Wayland session): the combination is registered as our action's
// keys, and each press comes back as a signal of our component.
class KdeHotKey : public QObject, public HotKey::Backend {
    Q_OBJECT
public:
    // Whether the session bus has the daemon.
    static bool available();

    KdeHotKey() = default;
    // Lets go of the keys, so that a new combination, or another program, can have them.
    ~KdeHotKey() override;

    bool install(quint8 keyCode, quint16 modifierMask, HotKey::Receiver receiver) override;

private slots:
    void pressed(const QString& component, const QString& action, qlonglong timestamp);

private:
    HotKey::Receiver _receiver;
    bool _registered = false;
};
