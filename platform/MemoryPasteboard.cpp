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

void MemoryPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    QList<std::pair<QString, std::optional<QByteArray>>> offered;
    for (const auto& [name, bytes] : named)
        offered.append({name, bytes});
    offer(offered);
}
