#pragma once

#include "platform/Pasteboard.h"

#include <condition_variable>
#include <memory>
#include <mutex>

// A pasteboard held in memory, for tests: content is offered under X11 type names in a chosen
// order, and a name offered without bytes is one the owner cannot supply.
class MemoryPasteboard : public Pasteboard {
public:
    qint64 changeCount() const override { return _count; }

    // Replaces the content as another program would.
    void offer(const QList<std::pair<QString, std::optional<QByteArray>>>& named);

    // How many times the owner was asked for the bytes of a name.
    int readCount() const { return _reads; }

    // While held, a job reading bytes later waits, as it would on an owner slow to answer,
    // until the bytes are released or the job is told to stop.
    void holdLaterReads();
    void releaseLaterReads();

protected:
    QStringList offeredNames() override;
    std::optional<QByteArray> readName(const QString& name) override;
    DataJob readNameLater(const QString& name) override;
    void writeNames(const QList<std::pair<QString, QByteArray>>& named) override;

private:
    qint64 _count = 0;
    int _reads = 0;
    QList<std::pair<QString, std::optional<QByteArray>>> _named;

    struct Gate {
        std::mutex mutex;
        std::condition_variable_any opened;
        bool held = false;
    };
    // Shared with the jobs, which may outlive this pasteboard on a worker.
    std::shared_ptr<Gate> _gate = std::make_shared<Gate>();
};
