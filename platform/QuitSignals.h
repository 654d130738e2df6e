#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns SIGINT, SIGTERM and SIGHUP into a signal on the event loop, so a session ending or a
// Control-C in the terminal quits the way the user quitting does.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested();

private:
    std::unique_ptr<QSocketNotifier> _notifier;
};
