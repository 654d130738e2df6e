#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

// The line between a running Kelvrin and a second one started by the user: a local socket in the
// user's runtime folder, reachable by this user alone. A request is one line; the answer is a
// status line, "ok" or "error MESSAGE", then the answer's text, and the running side closes the
// connection after it.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // The longest request taken; a longer one is refused without being read further.
    static constexpr int kMaxRequest = 4096;
    // A connection that sends no whole request in this time is closed.
    static constexpr int kRequestTimeoutMs = 5000;

    struct Answer {
        bool ok = false;
        QByteArray text;
    };
    // Turns a request into its answer; run on the event loop of the running instance.
    using Handler = std::function<Answer(const QByteArray& request)>;

    explicit InstanceChannel(Handler handler, QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Starts listening; false with the reason when another instance listens already or the
    // socket cannot be made.
    bool listen(QString* error);

    // Sends a request to the running instance and waits for the whole answer; nothing when no
    // instance is running (error says why).
    static std::optional<Answer> send(const QByteArray& request, int timeoutMs, QString* error);

    // Where the socket lives: $XDG_RUNTIME_DIR/kelvrin/, else a private folder under /tmp.
    static QString socketPath();

private:
    void accept();
    void read(QLocalSocket* socket);
    static void reply(QLocalSocket* socket, const Answer& answer);

    Handler _handler;
    std::unique_ptr<QLocalServer> _server;
};
