#include "platform/wayland/kde/KdeHotKey.h"

#include "platform/Strings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QGuiApplication>
#include <optional>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kDaemonPath = QStringLiteral("/kglobalaccel");
const QString kDaemonInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString kAction = QStringLiteral("paste-window");

// setShortcut's flags: the keys are present now, and are the ones given, not those the daemon
// kept from an earlier session.
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

// The action as the daemon knows it: our component and action, by name and as a person reads them.
QStringList actionId() {
    return {QGuiApplication::desktopFileName(), kAction, QStringLiteral("Kelvrin"),
            QStringLiteral("Paste Window")};
}

// The daemon answers in milliseconds; a stuck one must not hold the start or the preferences up.
constexpr int kAnswerTimeoutMs = 1000;

// Calls a method of the daemon; its answer, or the error that stands for none.
QDBusMessage askDaemon(const QString& method, const QVariantList& arguments,
                       QDBus::CallMode mode = QDBus::Block) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kDaemonPath, kDaemonInterface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, mode, kAnswerTimeoutMs);
}

// The key as Qt numbers it, which is how the daemon takes a shortcut; nothing for a key that is
// not among the preferences' keys.
std::optional<int> qtKey(quint32 keysym) {
    if (keysym >= XKB_KEY_a && keysym <= XKB_KEY_z)
        return Qt::Key_A + int(keysym - XKB_KEY_a);
    if (keysym >= XKB_KEY_0 && keysym <= XKB_KEY_9)
        return Qt::Key_0 + int(keysym - XKB_KEY_0);
    if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F35)
        return Qt::Key_F1 + int(keysym - XKB_KEY_F1);
    switch (keysym) {
    case XKB_KEY_Up:
        return Qt::Key_Up;
    case XKB_KEY_Down:
        return Qt::Key_Down;
    case XKB_KEY_Left:
        return Qt::Key_Left;
    case XKB_KEY_Right:
        return Qt::Key_Right;
    default:
        return std::nullopt;
    }
}

int qtModifiers(quint16 modifierMask) {
    int modifiers = 0;
    for (const auto& [flag, qt] : {std::pair{HotKey::ControlKey, Qt::ControlModifier},
                                   std::pair{HotKey::OptionKey, Qt::AltModifier},
                                   std::pair{HotKey::ShiftKey, Qt::ShiftModifier},
                                   std::pair{HotKey::CommandKey, Qt::MetaModifier}})
        if (modifierMask & flag)
            modifiers |= int(qt);
    return modifiers;
}

} // namespace

bool KdeHotKey::available() {
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(kService);
}

KdeHotKey::~KdeHotKey() {
    if (_registered)
        askDaemon(QStringLiteral("setInactive"), {actionId()}, QDBus::NoBlock);
}

bool KdeHotKey::install(quint8 keyCode, quint16 modifierMask, HotKey::Receiver receiver) {
    const std::optional<quint32> keysym = HotKey::keysym(keyCode);
    const std::optional<int> key = keysym ? qtKey(*keysym) : std::nullopt;
    if (!key) {
        warn(Strings::format(QStringLiteral("the key code %u is not a hot key"),
                             {unsigned(keyCode)}));
        return false;
    }
    const QString combination = HotKey::describe(keyCode, modifierMask);
    const QDBusReply<void> registered = askDaemon(QStringLiteral("doRegister"), {actionId()});
    const QDBusReply<QDBusObjectPath> component =
        askDaemon(QStringLiteral("getComponent"), {QGuiApplication::desktopFileName()});
    if (!registered.isValid() || !component.isValid()) {
        const QDBusError error = registered.isValid() ? component.error() : registered.error();
        warn(Strings::format(QStringLiteral("KDE's shortcut daemon does not answer: %@"),
                             {error.message()}));
        return false;
    }
    _registered = true;
    const int wanted = *key | qtModifiers(modifierMask);
    const QDBusReply<QList<int>> given = askDaemon(
        QStringLiteral("setShortcut"),
        {actionId(), QVariant::fromValue(QList<int>{wanted}), kSetPresent | kNoAutoloading});
    if (!given.isValid() || !given.value().contains(wanted)) {
        warn(Strings::format(QStringLiteral("the hot key %@ is held by another program"),
                             {combination}));
        return false;
    }
    _receiver = std::move(receiver);
    QDBusConnection::sessionBus().connect(kService, component.value().path(), kComponentInterface,
                                          QStringLiteral("globalShortcutPressed"), this,
                                          SLOT(pressed(QString, QString, qlonglong)));
    return true;
}

void KdeHotKey::pressed(const QString& component, const QString& action, qlonglong) {
    // The daemon's time is not the display system's: the activation goes without one.
    if (component == QGuiApplication::desktopFileName() && action == kAction && _receiver)
        _receiver({std::nullopt, std::nullopt});
}
