#pragma once

#include <QProcess>
#include <QString>
#include <memory>

// Two Syncthing instances on this machine, each with a home and ports of its own on the loopback
// interface, sharing one folder each with the other: discovery, relays and NAT off, each folder
// watched so that a change goes over within a second or two. They run while this lives.
class SyncthingPair {
public:
    // The folders must exist. Throws std::runtime_error when syncthing is missing, or the two do
    // not connect within the time.
    SyncthingPair(const QString& folderA, const QString& folderB, const QString& homes);
    ~SyncthingPair();
    SyncthingPair(const SyncthingPair&) = delete;
    SyncthingPair& operator=(const SyncthingPair&) = delete;

private:
    struct Instance;
    std::unique_ptr<Instance> _a, _b;
};
