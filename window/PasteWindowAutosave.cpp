// Autosave: noticing changes to the sets, choosing when and what to write, writing the changed
// sets on a worker thread, and taking the outcome back on the window's thread.
#include "window/PasteWindow.h"

#include "formats/SetFiles.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/Strings.h"

#include <QFile>
#include <algorithm>
#include <cerrno>

// What an autosave writes, taken from the sets when it starts: the clippings are copies that
// share their text and payload bytes with the sets', so the worker never touches a set.
struct PasteWindow::AutosaveJob {
    struct Set {
        const PasteSet* set;
        quint64 revision;
        QString name;
        PasteDataList clippings;
        SetMerge::Keys keys;
        std::optional<SetFileFailure> failure;
        qint64 bytes = 0;
        std::optional<FileStamp> stamp;
    };
    QString directory;
    Clock::time_point started;
    std::vector<Set> sets;
    // The set names, when the list file is to be written.
    std::optional<QStringList> list;
    bool listWritten = false;
    QString listFailure;
    std::optional<FileStamp> listStamp;
    // The sync file, when what it holds changed.
    std::optional<QByteArray> syncState;
    std::optional<FileStamp> syncStamp;
    // Conflict copies merged into the sets written: removed once they are.
    QStringList mergedCopies;
    bool taken = false;

    void run() {
        bool setsWritten = true;
        for (Set& set : sets) {
            set.failure = writeSetFile(directory, set.name, set.clippings, &set.bytes);
            if (!set.failure)
                set.stamp = stampOf(SetFiles::setFilePath(directory, set.name));
            setsWritten = setsWritten && !set.failure;
            // The copies go as soon as they are written: a history of screenshots is large.
            PasteDataList().swap(set.clippings);
        }
        // The list names a set only once its file is there.
        if (list && setsWritten && (listWritten = writeList()))
            listStamp = stampOf(SetFiles::inFolder(directory, SetFiles::kListFileName));
        // Last, after what it describes: the sets are what must not wait. It is only an aid to
        // merging, and one not written is written with the next save.
        const QString syncPath = SetFiles::inFolder(directory, SetFiles::kSyncFileName);
        if (syncState && AtomicFile::writeFile(syncPath, *syncState))
            syncStamp = stampOf(syncPath);
    }

    bool writeList() {
        const QString path = SetFiles::inFolder(directory, SetFiles::kListFileName);
        AtomicFile file(path);
        bool written = file.open();
        for (const QString& name : *list)
            written = written && file.write(SetFiles::encodeListLine(SetFiles::listLine(name)));
        written = written && file.commit();
        if (!written)
            listFailure = path + QStringLiteral(": ") + qt_error_string(errno);
        return written;
    }
};

void PasteWindow::recordSaved(const QString& directory) {
    SavedSets& saved = _autosave.saved;
    saved = {SetFiles::normalised(directory), {}, {}};
    for (const auto& set : _pasteArray) {
        saved.revisions[set.get()] = set->revision();
        saved.list.append(set->name());
    }
}

void PasteWindow::noticeChanges(Clock::time_point now) {
    quint64 newest = 0;
    QStringList names;
    for (const auto& set : _pasteArray) {
        newest = std::max(newest, set->revision());
        names.append(set->name());
    }
    if (newest == _autosave.seenRevision && names == _autosave.seenNames)
        return;
    _autosave.seenRevision = newest;
    _autosave.seenNames = std::move(names);
    _autosave.lastChange = now;
    if (!_autosave.firstChange)
        _autosave.firstChange = now;
    _autosave.failed = false;
}

void PasteWindow::autosaveCheck(const QString& directory, Clock::time_point now) {
    if (directory.isEmpty())
        return;
    if (SetFiles::normalised(directory) != _sharing.folder)
        shareFolder(directory);
    noticeChanges(now);
    if (!_autosave.firstChange || _autosave.running || _autosave.failed)
        return;
    if (now - _autosave.lastChange < kAutosaveQuiet &&
        now - *_autosave.firstChange < kAutosaveLatest)
        return;
    startAutosave(directory, now);
}

void PasteWindow::startAutosave(const QString& directory, Clock::time_point now) {
    const QString folder = SetFiles::normalised(directory);
    if (_autosave.saved.folder != folder) {
        // Another folder: it gets every set.
        _autosave.saved = {folder, {}, {}};
        _autosave.bigFiles.clear();
    }
    // Sets stored there that this run did not read are the user's to replace, at the quit.
    if (!_ownFolders.contains(folder) && kelvrinFileExistsIndirectory(directory)) {
        logAutosaveFailure(QStringLiteral("not own"),
                           directory + QStringLiteral(" holds sets this run did not load"));
        _autosave.failed = true;
        return;
    }
    auto job = std::make_shared<AutosaveJob>();
    job->directory = directory;
    job->started = now;
    bool waiting = false;
    for (const auto& set : _pasteArray) {
        const auto saved = _autosave.saved.revisions.find(set.get());
        if (saved != _autosave.saved.revisions.end() && saved->second == set->revision())
            continue;
        const auto big = _autosave.bigFiles.constFind(set->name());
        if (big != _autosave.bigFiles.cend() && big->first > kBigSetFile &&
            now - big->second < kBigSetInterval) {
            waiting = true;
            continue;
        }
        PasteDataList copies;
        copies.reserve(set->pasteData().size());
        for (const auto& clipping : set->pasteData())
            copies.push_back(std::make_unique<PasteData>(*clipping));
        job->sets.push_back({set.get(),
                             set->revision(),
                             set->name(),
                             std::move(copies),
                             SetMerge::keysOf(set->pasteData()),
                             {},
                             0,
                             {}});
    }
    // The names as this tick saw them.
    if (_autosave.seenNames != _autosave.saved.list)
        job->list = _autosave.seenNames;
    for (const AutosaveJob::Set& set : job->sets)
        noteWriting(set.name, set.keys);
    if (std::exchange(_sharing.knownChanged, false))
        job->syncState = SetFiles::encodeSyncState(stateToWrite());
    job->mergedCopies = std::exchange(_sharing.mergedCopies, {});
    // A big set waiting for its turn keeps the change open, so a later tick saves it.
    if (!waiting)
        _autosave.firstChange.reset();
    if (job->sets.empty() && !job->list && !job->syncState && job->mergedCopies.isEmpty())
        return;
    QString erroString;
    // An autosave that fails only logs.
    const Strings::InEnglish forTheLog;
    if (!createDirectoriesAtPath(directory, std::nullopt, erroString)) {
        logAutosaveFailure(QStringLiteral("folder"), erroString);
        _autosave.failed = true;
        return;
    }
    _autosave.running = job;
    _autosaveJobs.start([this, job] {
        job->run();
        // Safe from this thread: the destructor waits for the job, and the call it posts is
        // dropped with the object.
        QMetaObject::invokeMethod(
            this, [this, job] { takeAutosave(job); }, Qt::QueuedConnection);
    });
}

void PasteWindow::takeAutosave(std::shared_ptr<AutosaveJob> job) {
    if (job->taken)
        return;
    job->taken = true;
    if (_autosave.running == job)
        _autosave.running.reset();
    // Written for a folder that is no longer the one the sets are saved in.
    if (SetFiles::normalised(job->directory) != _autosave.saved.folder)
        return;
    bool failed = false;
    for (const AutosaveJob::Set& set : job->sets) {
        if (set.failure) {
            logAutosaveFailure(set.failure->key,
                               set.failure->path + QStringLiteral(": ") + set.failure->reason);
            failed = true;
            continue;
        }
        _autosave.saved.revisions[set.set] = set.revision;
        recordVersion(set.name, set.keys);
        if (set.stamp)
            _sharing.stamps.insert(SetFiles::setFilePath(job->directory, set.name), *set.stamp);
        if (set.bytes > kBigSetFile)
            _autosave.bigFiles.insert(set.name, {set.bytes, job->started});
        else
            _autosave.bigFiles.remove(set.name);
    }
    if (job->listWritten) {
        _autosave.saved.list = *job->list;
        _sharing.listBase = *job->list;
    }
    if (job->listStamp)
        _sharing.stamps.insert(SetFiles::inFolder(job->directory, SetFiles::kListFileName),
                               *job->listStamp);
    if (job->syncStamp)
        _sharing.stamps.insert(SetFiles::inFolder(job->directory, SetFiles::kSyncFileName),
                               *job->syncStamp);
    else if (job->syncState)
        _sharing.knownChanged = true;
    if (job->list && !job->listFailure.isEmpty()) {
        logAutosaveFailure(QStringLiteral("list"), job->listFailure);
        failed = true;
    }
    // Sets deleted meanwhile are forgotten.
    std::erase_if(_autosave.saved.revisions, [&](const auto& saved) {
        return std::none_of(_pasteArray.begin(), _pasteArray.end(),
                            [&](const auto& set) { return set.get() == saved.first; });
    });
    _autosave.failed = failed;
    if (!failed) {
        _autosave.failuresLogged.clear();
        _ownFolders.insert(_autosave.saved.folder);
        // The conflict copies merged are in the sets saved now.
        for (const QString& copy : job->mergedCopies)
            QFile::remove(copy);
    } else {
        _sharing.mergedCopies += job->mergedCopies;
    }
    // The first save may have made the folder.
    if (_sharing.watch)
        _sharing.watch->watchFolder();
    if (std::exchange(_sharing.lookAgain, false))
        QMetaObject::invokeMethod(this, &PasteWindow::syncCheck, Qt::QueuedConnection);
}

void PasteWindow::finishAutosave() {
    _autosaveJobs.waitForDone();
    if (_autosave.running)
        takeAutosave(_autosave.running);
}

void PasteWindow::logAutosaveFailure(const QString& kind, const QString& text) {
    if (_autosave.failuresLogged.contains(kind))
        return;
    _autosave.failuresLogged.insert(kind);
    Log::write(
        Strings::format(QStringLiteral("warning*** :[autosave] [sets not saved: %@]"), {text}));
}
