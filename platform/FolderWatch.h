#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QFileSystemWatcher;

// Tells when the files of a folder changed: an entry added, removed or renamed over (as a sync
// engine and an atomic save replace a file). The kernel tells, so a folder where nothing happens
// costs nothing; a burst of changes is told once, a moment after it ends. A folder that does not
// exist yet, or goes and comes back, is watched once it is there, looked for every few seconds.
class FolderWatch : public QObject {
public:
    FolderWatch(const QString& folder, std::function<void()> changed);
    ~FolderWatch() override;

    // The moment a burst of changes is given to end.
    static constexpr int kSettleMs = 300;
    static constexpr int kLookForFolderMs = 5000;

    // Watches the folder if it has come since the last look (one we just made).
    void watchFolder();

private:
    QString _folder;
    std::function<void()> _changed;
    std::unique_ptr<QFileSystemWatcher> _watcher;
    QTimer _settle;
    QTimer _lookForFolder;
};
