#pragma once

#include "platform/Pasteboard.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

// A pasteboard held in memory, for tests: content is offered under X11 type names in a chosen
// order, and a name offered without bytes is one the owner cannot supply.
class MemoryPasteboard : public Pasteboard {
public:
    qint64 changeCount() const override { return _count; }
    std::shared_ptr<PasteboardContent> content() override;

    // Replaces the content as another program would.
    void offer(const HeldContent::Named& named);

    // How many times the owner was asked for the bytes of a name.
    int readCount() const { return _owner->reads; }

    // While held, every question to the owner waits, as it would on an owner slow to answer,
    // until the owner is released or the reader gives up.
    void holdReads();
    void releaseReads();

protected:
    std::optional<qint64> writeNames(const QList<std::pair<QString, QByteArray>>& named) override;

private:
    // What the contents share with this pasteboard: they are read on a worker and may outlive it.
    struct Owner {
        std::mutex mutex;
        std::condition_variable_any released;
        bool held = false;
        std::atomic<int> reads = 0;
        // Waits while held; false when the reader gave up meanwhile.
        bool answer(const Transfer& transfer);
    };
    class Content;

    qint64 _count = 0;
    HeldContent::Named _named;
    std::shared_ptr<Owner> _owner = std::make_shared<Owner>();
};
