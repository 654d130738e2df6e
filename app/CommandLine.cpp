#include "app/CommandLine.h"

#include "platform/InstanceChannel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {

constexpr char kUsage[] = "usage: kelvrin [--show | --paste-window | --quit | --list [SET] |\n"
                          "               --print-folder DIR | --help | --version]\n";

constexpr char kHelp[] =
    "Kelvrin keeps a history of the clipboard. Press the hot key (Control+Down unless changed in\n"
    "the preferences) in any program to bring up the paste window, choose a clipping and it is\n"
    "pasted into that program.\n"
    "\n"
    "Without an option Kelvrin starts, or brings the running one's paste window forward.\n"
    "\n"
    "  --show              bring the running Kelvrin's paste window forward\n"
    "  --paste-window      what the hot key does, for a key binding of the desktop's own:\n"
    "                      remember the program in front and bring the paste window up\n"
    "  --quit              quit the running Kelvrin, saving its sets and settings\n"
    "  --list [SET]        print the clippings of a set of the running Kelvrin (the history\n"
    "                      by default), one JSON object per line\n"
    "  --print-folder DIR  print the sets stored in a folder, without a running Kelvrin\n"
    "  --help              print this help\n"
    "  --version           print the version\n";

// Requests by action, as the running instance reads them.
constexpr std::pair<CommandLine::Action, const char*> kRequests[] = {
    {CommandLine::Action::Show, "show"},
    {CommandLine::Action::PasteWindow, "paste-window"},
    {CommandLine::Action::Quit, "quit"},
    {CommandLine::Action::List, "list"},
};

// A quit may wait for the user to answer a failed save; the rest is answered at once.
constexpr int kAnswerTimeoutMs = 10000;

// The running Kelvrin may end while a second one reaches for it; the second then runs itself.
constexpr int kClaimAttempts = 3;

// The token a launcher hands the program it starts so that its window may take the keyboard:
// the Wayland one, else the X11 startup notification's.
QString activationToken() {
    const QString wayland = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    return wayland.isEmpty() ? qEnvironmentVariable("DESKTOP_STARTUP_ID") : wayland;
}

// Where a request holds its argument: the set of a listing, the token of a paste window.
QString argumentKey(CommandLine::Action action) {
    return action == CommandLine::Action::PasteWindow ? QStringLiteral("token")
                                                      : QStringLiteral("set");
}

// Prints the answer's text on standard output, or its trouble on standard error: the exit status.
int printAnswer(const InstanceChannel::Answer& answer) {
    if (!answer.ok) {
        std::fprintf(stderr, "kelvrin: %s\n", answer.text.constData());
        return 1;
    }
    std::fwrite(answer.text.constData(), 1, size_t(answer.text.size()), stdout);
    return 0;
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments) {
    if (arguments.isEmpty())
        return {Action::Run};
    const QString& option = arguments.front();
    const qsizetype count = arguments.size();
    const auto alone = [&](Action action) {
        return count == 1
                   ? CommandLine(action)
                   : CommandLine(Action::Wrong, QStringLiteral("%1 takes no argument").arg(option));
    };
    if (option == u"--show")
        return alone(Action::Show);
    if (option == u"--paste-window" && count == 1)
        return {Action::PasteWindow, activationToken()};
    if (option == u"--quit")
        return alone(Action::Quit);
    if (option == u"--help" || option == u"-h")
        return alone(Action::Help);
    if (option == u"--version")
        return alone(Action::Version);
    if (option == u"--list" && count <= 2)
        return {Action::List, arguments.value(1)};
    if (option == u"--print-folder" && count == 2 && !arguments[1].isEmpty())
        return {Action::PrintFolder, arguments[1]};
    if (option == u"--list" || option == u"--print-folder" || option == u"--paste-window")
        return {Action::Wrong, option == u"--list" ? QStringLiteral("--list takes one set at most")
                               : option == u"--paste-window"
                                   ? QStringLiteral("--paste-window takes no argument")
                                   : QStringLiteral("--print-folder needs a folder")};
    return {Action::Wrong, QStringLiteral("unknown option %1").arg(option)};
}

QByteArray CommandLine::request() const {
    QJsonObject request;
    for (const auto& [action, name] : kRequests)
        if (action == _action)
            request.insert(QStringLiteral("command"), QString::fromLatin1(name));
    if (!_argument.isEmpty())
        request.insert(argumentKey(_action), _argument);
    // Compact JSON holds no line feed, whatever the set's name: the request stays one line.
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

CommandLine CommandLine::fromRequest(const QByteArray& request) {
    const QJsonObject object = QJsonDocument::fromJson(request).object();
    const QString command = object.value(QStringLiteral("command")).toString();
    for (const auto& [action, name] : kRequests)
        if (command == QLatin1String(name))
            return {action, object.value(argumentKey(action)).toString()};
    return {Action::Wrong, QStringLiteral("unknown request")};
}

int CommandLine::sendToInstance() const {
    QString error;
    const std::optional<InstanceChannel::Answer> answer =
        InstanceChannel::send(request(), _action == Action::Quit ? -1 : kAnswerTimeoutMs, &error);
    if (!answer) {
        std::fprintf(stderr, "kelvrin: %s\n", qPrintable(error));
        return 1;
    }
    return printAnswer(*answer);
}

std::optional<int> CommandLine::claimInstance(InstanceChannel& channel) {
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        QString error;
        switch (channel.claim(&error)) {
        case InstanceChannel::Claim::Taken:
            return std::nullopt;
        case InstanceChannel::Claim::Failed:
            std::fprintf(stderr, "kelvrin: %s\n", qPrintable(error));
            return 1;
        case InstanceChannel::Claim::HeldElsewhere:
            break;
        }
        const std::optional<InstanceChannel::Answer> answer =
            InstanceChannel::send(CommandLine(Action::Show).request(), kAnswerTimeoutMs, &error);
        if (answer)
            return printAnswer(*answer);
        if (InstanceChannel::isRunning()) {
            std::fprintf(stderr,
                         "kelvrin: cannot reach the running Kelvrin (%s); it may be stopped or "
                         "busy\n",
                         qPrintable(error));
            return 1;
        }
    }
    std::fprintf(stderr, "kelvrin: Kelvrin keeps starting and ending; try again\n");
    return 1;
}

int CommandLine::print() const {
    switch (_action) {
    case Action::Help:
        std::printf("%s\n%s", kUsage, kHelp);
        return 0;
    case Action::Version:
        std::printf("kelvrin %s\n", KELVRIN_VERSION);
        return 0;
    default:
        std::fprintf(stderr, "kelvrin: %s\n%s", qPrintable(_argument), kUsage);
        return 2;
    }
}
