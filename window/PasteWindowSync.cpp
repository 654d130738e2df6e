// Sharing the data folder with other machines through a sync engine: noticing another writer's
// version of a file, merging it into the sets, and saving the result at once, so that every
// machine comes to the same sets.
#include "window/PasteWindow.h"

#include "model/PasteDataCoding.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "window/PasteView.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>
#include <sys/stat.h>

namespace {

// The clippings of a set file; absent when it cannot be read whole (a sync engine or another
// program still writing it, or a newer Kelvrin's file), for a later look.
std::optional<PasteDataList> readSetVersion(const QString& path) {
    const std::optional<QByteArray> bytes = SetFiles::readSetFile(path);
    if (!bytes)
        return std::nullopt;
    try {
        return unarchivePasteData(*bytes);
    } catch (const TypedStream::ArchiveError& error) {
        Log::write(Strings::format(
            QStringLiteral("warning*** :[sync] [%@ cannot be read (%@): it is left alone and "
                           "read again later]"),
            {path, error.name()}));
        return std::nullopt;
    }
}

// The names a list file holds, in its order; absent when it cannot be read whole.
std::optional<QStringList> readListVersion(const QString& path) {
    SetFiles::ListReader list;
    if (!list.open(path))
        return std::nullopt;
    QStringList names;
    QByteArray line;
    for (;;) {
        switch (list.next(line)) {
        case SetFiles::ListReader::Read::Line:
            if (const auto [text, readable] = SetFiles::decodeListLine(line); readable)
                if (const std::optional<QString> name = SetFiles::setNameOf(text))
                    names.append(*name);
            continue;
        case SetFiles::ListReader::Read::End:
            return names;
        default:
            return std::nullopt;
        }
    }
}

SetMerge::Keys keysOfNames(const QStringList& names) {
    SetMerge::Keys keys;
    for (const QString& name : names)
        keys.push_back(name.toUtf8());
    return keys;
}

} // namespace

std::optional<PasteWindow::FileStamp> PasteWindow::stampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp{qint64(info.st_size),
                     qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                     quint64(info.st_ino)};
}

void PasteWindow::shareFolder(const QString& directory) {
    _sharing.watch.reset();
    _sharing.folder = SetFiles::normalised(directory);
    _sharing.stamps.clear();
    _sharing.mergedCopies.clear();
    recordShared(directory);
    takeForeignState(SetFiles::inFolder(directory, SetFiles::kSyncFileName));
    _sharing.retry.setSingleShot(true);
    _sharing.retry.setInterval(kSyncRetry);
    // Not early: a version whose writer's word has not come is merged at the next look.
    _sharing.retry.setTimerType(Qt::PreciseTimer);
    QObject::connect(&_sharing.retry, &QTimer::timeout, this, &PasteWindow::syncCheck,
                     Qt::UniqueConnection);
    _sharing.watch = std::make_unique<FolderWatch>(directory, [this] { syncCheck(); });
}

void PasteWindow::recordShared(const QString& directory) {
    // What the folder holds now is what the sets in memory hold: loaded from it, or to be saved
    // into it.
    _sharing.versions.clear();
    _sharing.listBase.clear();
    for (const auto& set : _pasteArray) {
        recordVersion(set->name(), SetMerge::keysOf(set->pasteData()));
        _sharing.listBase.append(set->name());
        const QString path = SetFiles::setFilePath(directory, set->name());
        if (const std::optional<FileStamp> stamp = stampOf(path))
            _sharing.stamps.insert(path, *stamp);
    }
    for (const QString& name : {SetFiles::kListFileName, SetFiles::kSyncFileName}) {
        const QString path = SetFiles::inFolder(directory, name);
        if (const std::optional<FileStamp> stamp = stampOf(path))
            _sharing.stamps.insert(path, *stamp);
    }
}

void PasteWindow::recordVersion(const QString& name, const SetMerge::Keys& keys) {
    std::vector<SetMerge::Keys>& versions = _sharing.versions[name];
    if (!versions.empty() && versions.back() == keys)
        return;
    versions.push_back(keys);
    if (versions.size() > kSyncVersionsKept)
        versions.erase(versions.begin());
}

bool PasteWindow::changedSinceVersion(const PasteSet& set) const {
    const std::vector<SetMerge::Keys> versions = _sharing.versions.value(set.name());
    return versions.empty() || versions.back() != SetMerge::keysOf(set.pasteData());
}

void PasteWindow::noteWriting(const QString& name, const SetMerge::Keys& keys) {
    QList<QByteArray> earlier;
    for (const SetMerge::Keys& version : _sharing.versions.value(name))
        earlier.append(SetMerge::hashOf(version));
    learnGrewFrom(SetMerge::hashOf(keys), earlier);
    // The word goes with the set, even when an earlier save said it.
    _sharing.knownChanged = true;
}

void PasteWindow::learnGrewFrom(const QByteArray& version, const QList<QByteArray>& earlier) {
    QList<QByteArray>& known = _sharing.known.grewFrom[version];
    for (const QByteArray& hash : earlier)
        if (!known.contains(hash))
            known.append(hash);
    _sharing.grewFromOrder.removeOne(version);
    _sharing.grewFromOrder.append(version);
    while (_sharing.grewFromOrder.size() > kSyncGrewFromKept)
        _sharing.known.grewFrom.remove(_sharing.grewFromOrder.takeFirst());
}

void PasteWindow::noteCaptured(const PasteData& clipping) {
    _sharing.known.times.insert(clipping.digest(), QDateTime::currentMSecsSinceEpoch());
    _sharing.knownChanged = true;
}

SetFiles::SyncState PasteWindow::stateToWrite() const {
    SetFiles::SyncState state{{}, _sharing.known.grewFrom};
    for (const auto& set : _pasteArray)
        for (const auto& clipping : set->pasteData())
            if (const auto time = _sharing.known.times.constFind(clipping->digest());
                time != _sharing.known.times.cend())
                state.times.insert(time.key(), time.value());
    return state;
}

void PasteWindow::takeForeignState(const QString& path) {
    const std::optional<QByteArray> bytes = SetFiles::readSetFile(path);
    const std::optional<SetFiles::SyncState> state =
        bytes ? SetFiles::decodeSyncState(*bytes) : std::nullopt;
    if (!state)
        return;
    // What another machine said is in its own file already: it goes into ours with our next
    // save. Written now, it would only cross the other's next save.
    for (auto time = state->times.cbegin(); time != state->times.cend(); ++time) {
        qint64& known = _sharing.known.times[time.key()];
        known = std::max(known, time.value());
    }
    for (auto version = state->grewFrom.cbegin(); version != state->grewFrom.cend(); ++version)
        learnGrewFrom(version.key(), version.value());
}

std::optional<SetMerge::Keys> PasteWindow::baseOf(const QString& path, const QString& set,
                                                  const SetMerge::Keys& theirs) {
    const std::vector<SetMerge::Keys>& versions = _sharing.versions[set];
    const auto told = _sharing.known.grewFrom.constFind(SetMerge::hashOf(theirs));
    if (told != _sharing.known.grewFrom.cend()) {
        _sharing.awaited.remove(path);
        return SetMerge::lastSeen(versions, *told);
    }
    // The sync engine brings the sync file written with the set in a moment, unless its writer
    // wrote none.
    const Clock::time_point now = Clock::now();
    if (!_sharing.awaited.contains(path))
        _sharing.awaited.insert(path, now);
    const Clock::time_point since = _sharing.awaited.value(path);
    if (now - since < kSyncRetry)
        return std::nullopt;
    _sharing.awaited.remove(path);
    return SetMerge::likelyBaseOf(versions, theirs);
}

bool PasteWindow::mergeSetVersion(PasteSet& set, PasteDataList theirs, const SetMerge::Keys& base,
                                  bool conflictCopy) {
    const SetMerge::Keys ours = SetMerge::keysOf(set.pasteData());
    const SetMerge::Keys theirKeys = SetMerge::keysOf(theirs);
    const qint64 bound = &set == _pasteArray.front().get() ? _applicationIns->iLimits() : kNoLimit;
    // Nothing changed here since the version theirs grew from: theirs is the set now.
    const SetMerge::Keys merged =
        base == ours ? theirKeys
                     : SetMerge::merge(
                           base, ours, theirKeys,
                           [&](const SetMerge::Key& key) {
                               return _sharing.known.times.value(SetMerge::digestOf(key));
                           },
                           bound);
    if (merged != ours) {
        QHash<SetMerge::Key, const PasteData*> byKey;
        for (size_t i = 0; i < theirs.size(); ++i)
            byKey.insert(theirKeys[i], theirs[i].get());
        for (size_t i = 0; i < ours.size(); ++i)
            byKey.insert(ours[i], set.pasteData()[i].get());
        PasteDataList clippings;
        for (const SetMerge::Key& key : merged)
            clippings.push_back(std::make_unique<PasteData>(*byKey.value(key)));
        set.setPasteData(std::move(clippings));
        set.reNumber();
        if (&set == currentSet())
            _table->reloadData();
    }
    recordVersion(set.name(), theirKeys);
    // The folder holds the merged set already when it is the version that replaced the file.
    if (merged == theirKeys && !conflictCopy) {
        _autosave.saved.revisions[&set] = set.revision();
        return false;
    }
    return true;
}

bool PasteWindow::mergeList(const QStringList& inFile) {
    const QString& folder = _sharing.folder;
    QStringList theirs = inFile;
    QStringList ours;
    for (const auto& set : _pasteArray)
        ours.append(set->name());
    const QStringList& base = _sharing.listBase;
    // A set deleted on one side stays when the other changed it meanwhile.
    for (const auto& set : _pasteArray)
        if (base.contains(set->name()) && !theirs.contains(set->name()) &&
            changedSinceVersion(*set))
            theirs.append(set->name());
    // The sets in the merged list that are not ours yet come from their files.
    std::unordered_map<QString, std::unique_ptr<PasteSet>> arriving;
    for (const QString& name : theirs) {
        if (ours.contains(name))
            continue;
        const QString path = SetFiles::setFilePath(folder, name);
        std::optional<PasteDataList> clippings = readSetVersion(path);
        // Its file has not come yet: the set comes with a later look.
        if (!clippings) {
            _sharing.retry.start();
            continue;
        }
        // Deleted here, and changed there since: it comes back.
        const bool deletedHere = base.contains(name);
        if (deletedHere && !_sharing.versions.value(name).empty() &&
            _sharing.versions.value(name).back() == SetMerge::keysOf(*clippings))
            continue;
        if (deletedHere)
            ours.append(name);
        auto set = std::make_unique<PasteSet>(name);
        set->setPasteData(std::move(*clippings));
        recordVersion(name, SetMerge::keysOf(set->pasteData()));
        if (const std::optional<FileStamp> stamp = stampOf(path))
            _sharing.stamps.insert(path, *stamp);
        arriving.emplace(name, std::move(set));
    }
    theirs.removeIf([&](const QString& name) {
        return !ours.contains(name) && arriving.find(name) == arriving.end();
    });
    SetMerge::Keys merged = SetMerge::merge(
        keysOfNames(base), keysOfNames(ours), keysOfNames(theirs),
        [](const SetMerge::Key&) { return qint64(0); }, kNoLimit);
    // The history set is always first.
    const SetMerge::Key history = kHistoryName.toUtf8();
    std::erase(merged, history);
    merged.insert(merged.begin(), history);
    const QString shown = currentSet() ? currentSet()->name() : QString();
    std::vector<std::unique_ptr<PasteSet>> array;
    for (const SetMerge::Key& key : merged) {
        const QString name = QString::fromUtf8(key);
        const auto own = std::find_if(_pasteArray.begin(), _pasteArray.end(),
                                      [&](const auto& set) { return set && set->name() == name; });
        if (own != _pasteArray.end())
            array.push_back(std::move(*own));
        else if (const auto arrived = arriving.find(name); arrived != arriving.end())
            array.push_back(std::move(arrived->second));
    }
    QStringList names;
    for (const auto& set : array)
        names.append(set->name());
    const bool changed = names != ours;
    _pasteArray = std::move(array);
    _sharing.listBase = names;
    if (changed) {
        refillSetList();
        const QSignalBlocker quiet(_list);
        _list->setCurrentIndex(std::max<qsizetype>(0, names.indexOf(shown)));
        _table->reloadData();
    }
    // The folder's list is the merged one already when it is theirs.
    if (names == inFile)
        _autosave.saved.list = names;
    return names != inFile;
}

void PasteWindow::syncCheck() {
    if (_sharing.folder.isEmpty())
        return;
    // A save in progress replaces files as we look; the look comes after it.
    if (_autosave.running) {
        _sharing.lookAgain = true;
        return;
    }
    const QString& folder = _sharing.folder;
    const auto replaced = [&](const QString& path) {
        const std::optional<FileStamp> stamp = stampOf(path);
        return stamp && _sharing.stamps.value(path) != *stamp;
    };
    const auto seen = [&](const QString& path) {
        if (const std::optional<FileStamp> stamp = stampOf(path))
            _sharing.stamps.insert(path, *stamp);
    };
    bool toSave = false;
    const QString syncPath = SetFiles::inFolder(folder, SetFiles::kSyncFileName);
    if (replaced(syncPath)) {
        takeForeignState(syncPath);
        seen(syncPath);
    }
    // Conflict copies, by the file they stand for.
    QHash<QString, QStringList> copies;
    const QStringList files = QDir(folder).entryList(QDir::Files);
    for (const QString& file : files)
        if (const std::optional<QString> original = SetFiles::conflictCopyOf(file))
            copies[*original].append(QDir(folder).filePath(file));
    for (const QString& copy : copies.value(SetFiles::kSyncFileName)) {
        takeForeignState(copy);
        _sharing.mergedCopies.append(copy);
    }
    const QString listPath = SetFiles::inFolder(folder, SetFiles::kListFileName);
    QStringList listVersions;
    if (replaced(listPath))
        listVersions.append(listPath);
    listVersions += copies.value(SetFiles::kListFileName);
    for (const QString& path : listVersions) {
        const std::optional<QStringList> names = readListVersion(path);
        if (!names || names->value(0) != kHistoryName) {
            _sharing.retry.start();
            continue;
        }
        toSave = mergeList(*names) || toSave;
        if (path == listPath)
            seen(path);
        else
            _sharing.mergedCopies.append(path);
    }
    for (const auto& set : _pasteArray) {
        const QString path = SetFiles::setFilePath(folder, set->name());
        QStringList versions;
        if (replaced(path))
            versions.append(path);
        versions += copies.value(QFileInfo(path).fileName());
        for (const QString& version : versions) {
            std::optional<PasteDataList> theirs = readSetVersion(version);
            const std::optional<SetMerge::Keys> base =
                theirs ? baseOf(version, set->name(), SetMerge::keysOf(*theirs)) : std::nullopt;
            if (!base) {
                _sharing.retry.start();
                continue;
            }
            toSave = mergeSetVersion(*set, std::move(*theirs), *base, version != path) || toSave;
            if (version == path)
                seen(path);
            else
                _sharing.mergedCopies.append(version);
        }
    }
    if (toSave || !_sharing.mergedCopies.isEmpty()) {
        Log::write(QStringLiteral("information:[sync] [merged another machine's sets]"));
        // What the merge changed is saved now, not once the sets have rested.
        noticeChanges(Clock::now());
        startAutosave(folder, Clock::now());
    }
}
