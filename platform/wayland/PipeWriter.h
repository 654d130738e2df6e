#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

// Hands bytes to another program through the pipe it gave us, as fast as it takes them, without
// ever making the event loop wait: a program that reads a large picture slowly, or never reads,
// holds up nothing. The pipe is closed once everything is written, once the reader closes its end,
// or once the reader has taken nothing for the transfer timeout; then the writer deletes itself.
class PipeWriter : public QObject {
    Q_OBJECT
public:
    // Takes the file descriptor; the writer lives at most as long as the parent.
    static void start(int fd, QByteArray bytes, QObject* parent);
    ~PipeWriter() override;

private:
    PipeWriter(int fd, QByteArray bytes, QObject* parent);
    void writeMore();
    void finish();

    int _fd;
    QByteArray _bytes;
    qsizetype _written = 0;
    QSocketNotifier _writable;
    QTimer _stalled;
};
