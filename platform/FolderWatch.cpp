#include "platform/FolderWatch.h"

#include <QFileInfo>
#include <QFileSystemWatcher>

FolderWatch::FolderWatch(const QString& folder, std::function<void()> changed)
    : _folder(folder), _changed(std::move(changed)),
      _watcher(std::make_unique<QFileSystemWatcher>()) {
    _settle.setSingleShot(true);
    _settle.setInterval(kSettleMs);
    connect(&_settle, &QTimer::timeout, this, [this] { _changed(); });
    connect(_watcher.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
        // A folder that went is watched no more: it is looked for until it is back.
        if (!QFileInfo(_folder).isDir())
            _lookForFolder.start();
        _settle.start();
    });
    _lookForFolder.setInterval(kLookForFolderMs);
    connect(&_lookForFolder, &QTimer::timeout, this, &FolderWatch::watchFolder);
    watchFolder();
}

FolderWatch::~FolderWatch() = default;

void FolderWatch::watchFolder() {
    if (!QFileInfo(_folder).isDir()) {
        _lookForFolder.start();
        return;
    }
    _lookForFolder.stop();
    if (!_watcher->directories().contains(_folder)) {
        _watcher->addPath(_folder);
        // What came while nobody watched.
        _settle.start();
    }
}
