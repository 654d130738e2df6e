#include "platform/gnome/GnomeShell.h"

#include "platform/Log.h"
#include "platform/Transfer.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QThread>

namespace {

const QString kService = QStringLiteral("io.github.kelvrin.Kelvrin.Shell");
const QString kPath = QStringLiteral("/io/github/kelvrin/Kelvrin/Shell");
const QString kInterface = QStringLiteral("io.github.kelvrin.Kelvrin.Shell1");
// The shell answers in milliseconds; a stuck one must not hold Kelvrin up.
constexpr int kAnswerTimeoutMs = 1000;
// The keys wait up to half a second for the target, and as long for the clipboard.
constexpr int kKeysTimeoutMs = 2000;
// An extension the shell knows of runs within milliseconds of being enabled.
constexpr int kEnableTimeoutMs = 3000;
constexpr int kLookEveryMs = 20;
const QString kUuid = QStringLiteral("kelvrin@kelvrin.github.io");

QDBusMessage callOf(const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    return call;
}

// An error message stands for no answer, and is logged once for each kind of refusal.
void sayIfRefused(const QDBusMessage& answer) {
    if (answer.type() == QDBusMessage::ErrorMessage) {
        static QString lastSaid;
        if (answer.errorName() != lastSaid) {
            lastSaid = answer.errorName();
            Log::write(QStringLiteral("warning*** :[gnome] [Kelvrin's GNOME Shell extension did "
                                      "not answer: %1]")
                           .arg(answer.errorMessage()));
        }
    }
}

// The extension's answer to the method.
QDBusMessage ask(const QString& method, const QVariantList& arguments = {}) {
    const QDBusMessage answer = QDBusConnection::sessionBus().call(callOf(method, arguments),
                                                                   QDBus::Block, kAnswerTimeoutMs);
    sayIfRefused(answer);
    return answer;
}

// The shell's own list of extensions, which any program of the session may read and change.
QDBusMessage askExtensions(const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"), method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, kAnswerTimeoutMs);
}

bool answeredTrue(const QDBusMessage& answer) {
    return answer.type() == QDBusMessage::ReplyMessage && answer.arguments().value(0).toBool();
}

} // namespace

// An item of the indicator's menu as the bus carries it: (ssb).
Q_DECLARE_METATYPE(Indicator::Item)

static QDBusArgument& operator<<(QDBusArgument& argument, const Indicator::Item& item) {
    argument.beginStructure();
    argument << item.name << item.text << item.enabled;
    argument.endStructure();
    return argument;
}

static const QDBusArgument& operator>>(const QDBusArgument& argument, Indicator::Item& item) {
    argument.beginStructure();
    argument >> item.name >> item.text >> item.enabled;
    argument.endStructure();
    return argument;
}

bool GnomeShell::available() {
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(kService);
}

bool GnomeShell::answersUs() {
    const QString name = QStringLiteral("kelvrin-probe");
    bool answers = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        answers = bus.isConnected() && bus.call(callOf(QStringLiteral("ActiveWindow"), {}),
                                                QDBus::Block, kAnswerTimeoutMs)
                                               .type() == QDBusMessage::ReplyMessage;
    }
    QDBusConnection::disconnectFromBus(name);
    return answers;
}

GnomeShell::Installed GnomeShell::installed() {
    const QDBusMessage answer = askExtensions(QStringLiteral("GetExtensionInfo"), {kUuid});
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return Installed::No;
    const QVariantMap info = qdbus_cast<QVariantMap>(answer.arguments().front());
    if (info.isEmpty())
        return Installed::No;
    // The shell's states: 1 enabled, 2 disabled, 6 found at start and never enabled; 99 removed.
    switch (info.value(QStringLiteral("state")).toInt()) {
    case 1:
        return Installed::Enabled;
    case 99:
        return Installed::No;
    default:
        return Installed::Disabled;
    }
}

bool GnomeShell::enable() {
    const QDBusMessage answer = askExtensions(QStringLiteral("EnableExtension"), {kUuid});
    if (!answeredTrue(answer))
        return false;
    const QDeadlineTimer deadline(kEnableTimeoutMs);
    while (!available() && !deadline.hasExpired())
        QThread::msleep(kLookEveryMs);
    return available();
}

std::optional<GnomeShell::Window> GnomeShell::active() const {
    const QDBusMessage answer = ask(QStringLiteral("ActiveWindow"));
    const QVariantList fields = answer.arguments();
    if (answer.type() != QDBusMessage::ReplyMessage || fields.size() != 5 ||
        fields[0].toUInt() == 0)
        return std::nullopt;
    return Window{fields[0].toUInt(),   fields[1].toString(),   fields[2].toString(),
                  fields[3].toString(), fields[4].toLongLong(), true};
}

std::vector<GnomeShell::Window> GnomeShell::windows() const {
    const QDBusMessage answer = ask(QStringLiteral("Windows"));
    std::vector<Window> windows;
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return windows;
    const QDBusArgument listed = answer.arguments().front().value<QDBusArgument>();
    listed.beginArray();
    while (!listed.atEnd()) {
        Window window;
        listed.beginStructure();
        listed >> window.id >> window.appId >> window.title >> window.pid >> window.active;
        listed.endStructure();
        windows.push_back(window);
    }
    listed.endArray();
    return windows;
}

bool GnomeShell::activate(quint32 id) const {
    return answeredTrue(ask(QStringLiteral("Activate"), {id}));
}

bool GnomeShell::clipboardKeptByShell() const {
    return answeredTrue(ask(QStringLiteral("ClipboardKeptByShell")));
}

void GnomeShell::watchClipboard(std::function<void(const Clipboard&)> changed) {
    if (!_clipboardChanged)
        QDBusConnection::sessionBus().connect(kService, kPath, kInterface,
                                              QStringLiteral("ClipboardChanged"), this,
                                              SLOT(clipboardChanged(quint32, QStringList, bool)));
    _clipboardChanged = std::move(changed);
}

std::optional<GnomeShell::Clipboard> GnomeShell::clipboard() const {
    const QDBusMessage answer = ask(QStringLiteral("Clipboard"));
    const QVariantList fields = answer.arguments();
    if (answer.type() != QDBusMessage::ReplyMessage || fields.size() != 3)
        return std::nullopt;
    return Clipboard{fields[0].toUInt(), fields[1].toStringList(), fields[2].toBool()};
}

void GnomeShell::clipboardChanged(quint32 serial, const QStringList& types, bool keptByShell) {
    if (_clipboardChanged)
        _clipboardChanged(Clipboard{serial, types, keptByShell});
}

QDBusPendingCall GnomeShell::readClipboard(quint32 serial, const QString& type, int fd) const {
    // A large picture from a slow owner takes its time; the reader gives up on its own.
    return QDBusConnection::sessionBus().asyncCall(
        callOf(QStringLiteral("ReadClipboard"),
               {serial, type, QVariant::fromValue(QDBusUnixFileDescriptor(fd))}),
        int(Transfer::kCaptureLimit.count()));
}

void GnomeShell::pressKeys(quint32 target, const std::vector<quint32>& keysyms,
                           bool afterX11Clipboard, std::function<void(bool sent)> answered) const {
    const QList<uint> keyvals(keysyms.begin(), keysyms.end());
    const QDBusPendingCall call = QDBusConnection::sessionBus().asyncCall(
        callOf(QStringLiteral("PressKeys"),
               {target, QVariant::fromValue(keyvals), afterX11Clipboard}),
        kKeysTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [answered = std::move(answered)](QDBusPendingCallWatcher* finished) {
                         const QDBusMessage answer = finished->reply();
                         sayIfRefused(answer);
                         answered(answeredTrue(answer));
                         finished->deleteLater();
                     });
}

bool GnomeShell::grab(const QString& accelerator, std::function<void(const Window&)> pressed) {
    if (!answeredTrue(ask(QStringLiteral("GrabHotKey"), {accelerator})))
        return false;
    if (!_pressed)
        QDBusConnection::sessionBus().connect(
            kService, kPath, kInterface, QStringLiteral("HotKeyPressed"), this,
            SLOT(hotKeyPressed(quint32, QString, QString, QString, qint64)));
    _pressed = std::move(pressed);
    return true;
}

void GnomeShell::release() {
    if (!_pressed)
        return;
    QDBusConnection::sessionBus().disconnect(
        kService, kPath, kInterface, QStringLiteral("HotKeyPressed"), this,
        SLOT(hotKeyPressed(quint32, QString, QString, QString, qint64)));
    _pressed = nullptr;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("ReleaseHotKey"));
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

bool GnomeShell::showIndicator(const QList<Indicator::Item>& items,
                               std::function<void(const QString& name)> chosen,
                               std::function<void()> opened) {
    qDBusRegisterMetaType<Indicator::Item>();
    qDBusRegisterMetaType<QList<Indicator::Item>>();
    if (!answeredTrue(ask(QStringLiteral("ShowIndicator"), {QVariant::fromValue(items)})))
        return false;
    if (!_chosen) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.connect(kService, kPath, kInterface, QStringLiteral("IndicatorItemChosen"), this,
                    SLOT(indicatorItemChosen(QString)));
        bus.connect(kService, kPath, kInterface, QStringLiteral("IndicatorOpened"), this,
                    SLOT(indicatorOpened()));
    }
    _chosen = std::move(chosen);
    _opened = std::move(opened);
    return true;
}

void GnomeShell::indicatorItemChosen(const QString& name) {
    if (_chosen)
        _chosen(name);
}

void GnomeShell::indicatorOpened() {
    if (_opened)
        _opened();
}

void GnomeShell::hotKeyPressed(quint32 id, const QString& appId, const QString& instance,
                               const QString& title, qint64 pid) {
    if (_pressed)
        _pressed(Window{id, appId, instance, title, pid, true});
}
