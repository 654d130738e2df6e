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
//
// Which process is the running Kelvrin is settled by a lock on a file beside the socket: the
// one that holds it runs, any other only talks to it. The lock goes with the process that holds
// it, however that process ends.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // A starting instance listens a moment after it took the lock; one that does not within this
    // time is stuck.
    static constexpr int kConnectTimeoutMs = 10000;
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

    explicit InstanceChannel(QObject* parent = nullptr);
    ~InstanceChannel() override;

    enum class Claim { Taken, HeldElsewhere, Failed };
    // Makes this process the running instance by taking the lock, held as long as the channel
    // lives. HeldElsewhere when another process runs; Failed, with the reason, when the lock
    // cannot be had at all.
    Claim claim(QString* error);
    // Once claimed, answers requests through the handler; false with the reason when the socket
    // cannot be made.
    bool listen(Handler handler, QString* error);

    // Whether some process holds the lock: an instance runs, or is starting.
    static bool isRunning();
    // Sends a request to the running instance and waits for the whole answer, at most timeoutMs
    // (-1 for as long as it takes); nothing when no instance runs or it cannot be reached (error
    // says why).
    static std::optional<Answer> send(const QByteArray& request, int timeoutMs, QString* error);

    // Where the socket lives: $XDG_RUNTIME_DIR/kelvrin/, else a private folder under /tmp.
    static QString socketPath();

private:
    // Connects to the running instance, waiting while it starts; false with the reason when none
    // runs, it cannot be reached, or the socket may be another user's.
    static bool connectToInstance(QLocalSocket& socket, QString* error);
    void accept();
    void read(QLocalSocket* socket);
    static void reply(QLocalSocket* socket, const Answer& answer);

    Handler _handler;
    std::unique_ptr<QLocalServer> _server;
    int _lock = -1;
};
