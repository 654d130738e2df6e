#include "platform/MemoryPasteboard.h"

class MemoryPasteboard::Content : public HeldContent {
public:
    Content(Named named, std::shared_ptr<Owner> owner)
        : HeldContent(std::move(named)), _owner(std::move(owner)) {}

    std::optional<PasteboardOffer> offer(const Transfer& transfer) override {
        if (!_owner->answer(transfer))
            return std::nullopt;
        return HeldContent::offer(transfer);
    }
    std::optional<QByteArray> read(const QString& name, qsizetype allowed,
                                   const Transfer& transfer) override {
        ++_owner->reads;
        if (!_owner->answer(transfer))
            return std::nullopt;
        return HeldContent::read(name, allowed, transfer);
    }

private:
    std::shared_ptr<Owner> _owner;
};

bool MemoryPasteboard::Owner::answer(const Transfer& transfer) {
    std::unique_lock lock(mutex);
    return released.wait(lock, transfer.stopToken(), [this] { return !held; });
}

std::shared_ptr<PasteboardContent> MemoryPasteboard::content() {
    return std::make_shared<Content>(_named, _owner);
}

void MemoryPasteboard::offer(const HeldContent::Named& named) {
    _named = named;
    ++_count;
}

void MemoryPasteboard::holdReads() {
    const std::lock_guard lock(_owner->mutex);
    _owner->held = true;
}

void MemoryPasteboard::releaseReads() {
    {
        const std::lock_guard lock(_owner->mutex);
        _owner->held = false;
    }
    _owner->released.notify_all();
}

std::optional<qint64>
MemoryPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    HeldContent::Named offered;
    for (const auto& [name, bytes] : named)
        offered.append({name, bytes});
    offer(offered);
    return _count;
}
