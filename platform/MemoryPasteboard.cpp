#include "platform/MemoryPasteboard.h"

void MemoryPasteboard::offer(const QList<std::pair<QString, std::optional<QByteArray>>>& named) {
    _named = named;
    ++_count;
}

QStringList MemoryPasteboard::offeredNames() {
    QStringList names;
    for (const auto& [name, bytes] : _named)
        names.append(name);
    return names;
}

std::optional<QByteArray> MemoryPasteboard::readName(const QString& name) {
    ++_reads;
    for (const auto& [offeredName, bytes] : _named)
        if (offeredName == name)
            return bytes;
    return std::nullopt;
}

Pasteboard::DataJob MemoryPasteboard::readNameLater(const QString& name) {
    return [bytes = readName(name), gate = _gate](std::stop_token stop) {
        std::unique_lock lock(gate->mutex);
        gate->opened.wait(lock, stop, [&] { return !gate->held; });
        return stop.stop_requested() ? std::nullopt : bytes;
    };
}

void MemoryPasteboard::holdLaterReads() {
    const std::lock_guard lock(_gate->mutex);
    _gate->held = true;
}

void MemoryPasteboard::releaseLaterReads() {
    {
        const std::lock_guard lock(_gate->mutex);
        _gate->held = false;
    }
    _gate->opened.notify_all();
}

void MemoryPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    QList<std::pair<QString, std::optional<QByteArray>>> offered;
    for (const auto& [name, bytes] : named)
        offered.append({name, bytes});
    offer(offered);
}
