#pragma once

// PasteWindow is one class written in one file per concern:
//   PasteWindow.cpp          the window and its look, the table's data source, thumbnails
//   PasteWindowCapture.cpp   clipboard content becoming a clipping, read on workers in order
//   PasteWindowSupply.cpp    the clipping to paste, one stored or several joined
//   PasteWindowSets.cpp      stepping through sets, the two set sheets, deleting and selecting
//   PasteWindowDrag.cpp      dragging rows out of, within and into the table
//   PasteWindowFilter.cpp    finding clippings by typing
//   PasteWindowStorage.cpp   loading and saving a folder's sets (its files: formats/SetFiles)
//   PasteWindowAutosave.cpp  saving changed sets on a worker while the program runs
//   PasteWindowSync.cpp      merging what other machines write into the data folder

#include "formats/SetFiles.h"
#include "formats/TypedStream.h"
#include "model/PasteSet.h"
#include "model/SetMerge.h"
#include "platform/FolderWatch.h"
#include "platform/Strings.h"
#include "window/PasteWindowDelegate.h"

#include <QColor>
#include <QFileDevice>
#include <QObject>
#include <QRectF>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <QVariant>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <unordered_map>
#include <vector>

class Pasteboard;
class PasteView;
class PasteWin;
class PasteTableModel;
class QCheckBox;
class QComboBox;
class QDialog;
class QMimeData;
class QWidget;

// One kind name of the "Kind" column: the word and its colour.
struct KindName {
    QString text;
    QColor colour;
};

// The controller of the paste window: owns every set in memory (the set array, the history
// set first), the set combo box that chooses the current set, the paste-mode popup, the clip
// table and the two set sheets. Captured clipboard contents enter here.
class PasteWindow : public QObject {
    Q_OBJECT
public:
    static inline const QString kHistoryName = QStringLiteral("PasteBoard History");
    // Marks a drag that began in the clip table; its data is always empty.
    static inline const QString kKelvrin73Type = QStringLiteral("application/x-kelvrin73type");
    // A set this large is never trimmed.
    static constexpr qint64 kNoLimit = std::numeric_limits<qint64>::max();

    PasteWindow();
    ~PasteWindow() override;

    // Wires the controller to the application, whose settings the window's set-up reads.
    void initWindow(PasteWindowDelegate* applicationIns);

    // The window, built on first use.
    PasteWin* getWindow();
    void showPasteWindow();
    void pasteWindowOrderOut();
    // Puts the window up just behind another window, which keeps the front.
    void pasteWindowOrderBack(QWidget* window);
    void setTitleStr(const QString& title);
    // With no row of the current set selected, selects the first one, so that Return pastes
    // the newest clipping.
    void selectFirstRowIfNone();
    void setWindowTransparency(float alpha);
    void setViewHeight(float height);
    void setWindowLevel(signed char alwaysOnTop);

    qint64 pasteStatus() const;
    qint64 selectedRows() const;
    quint64 numberOfSetsWithoutPasteBoardHistory() const;
    bool isWindowAccepted() const;
    bool isWindowVisible() const;
    QRectF pasteWindowRect() const;

    // Capture: chooses the form of the pasteboard's content and inserts it. A capture into the
    // history (duplexCheck) reads the content on a worker thread, as its owner may be slow or
    // never answer, and enters later: the captures enter in the order they were made, each
    // tested against the head as it is then. A newer content gives up the reading of older ones
    // still being read. True only when a clipping entered before the return, which only a drop
    // (no duplexCheck) does: it is read and inserted at once, as its row is only valid now.
    bool addPasteDataCheck(Pasteboard& pasteboard, bool timerFlag, bool duplexCheck,
                           qint32 posOfInsert);
    // Whether captures are being read or waiting their turn.
    bool hasPendingCaptures() const { return !_pending.empty(); }
    // Captures wait while the user answers a modal panel or drags rows out of the table: what
    // the user chose must not move under them. The first look afterwards takes everything.
    bool capturesHeld() const;
    // Lets the captures that have been read enter, unless captures are held.
    void enterReadyCaptures();
    // Gives the captures being read a moment to finish and lets every waiting capture enter: a
    // quit saves what was copied just before. A content still coming after that moment is given
    // up, so that a slow owner cannot hold the quit or the end of the session.
    void finishPendingCaptures();
    bool addPasteData(const std::optional<QString>& text, qint32 extraType,
                      const std::optional<QByteArray>& extraData, bool timerFlag, bool duplexCheck,
                      qint32 posOfInsert);
    PasteData* getPasteBoardHistoryDataAtIndex(qint32 row) const;
    // The history's head, when it holds what the clipboard held at that change count, captured
    // from there whole; null otherwise.
    const PasteData* headCapturedAt(qint64 count) const;

    // Supply: the clipping to paste, one stored or several joined, handed to the application.
    // Joining fails only for pictures, explained in an alert when message is set.
    bool synthesisData(std::unique_ptr<PasteData>& data, bool message);
    // Always true; pasted tells whether the application delivered a clipping.
    bool doPaste(bool& pasted);

    // The sets stored in a folder: a list file naming one archive per set.
    static inline const QString& kListFileName = SetFiles::kListFileName;
    static inline const QString& kSetFileSuffix = SetFiles::kSetFileSuffix;
    bool kelvrinFileExistsIndirectory(const QString& directory) const;
    bool loadData(bool flag, const QString& dirName);
    bool loadDataFromFile(const QString& directory, std::vector<std::unique_ptr<PasteSet>>& array);
    // True also when the user declined to replace the sets stored there: nothing was written
    // then, which *declined tells, so that the folder is not taken as holding these sets.
    bool saveData(const QString& directory, QString& erroString, bool fileCheck,
                  bool* declined = nullptr);

    // Autosave: the sets changed since they were last saved are written into the folder on a
    // worker thread, as the quit save writes them, once nothing has changed for kAutosaveQuiet
    // or at the latest kAutosaveLatest after the first unsaved change. Called at every tick of
    // the poll with the data folder (nothing happens without one) and the time now. A failure
    // is logged once per kind and tried again after the next change. Every other save waits for
    // a save in progress first.
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kAutosaveQuiet{2000};
    static constexpr std::chrono::milliseconds kAutosaveLatest{5000};
    // A set whose file is larger than this is rewritten at most once per kBigSetInterval.
    static constexpr qint64 kBigSetFile = 64'000'000;
    static constexpr std::chrono::seconds kBigSetInterval{60};
    void autosaveCheck(const QString& directory, Clock::time_point now);
    // Waits for a save in progress and takes its outcome.
    void finishAutosave();

    // Sharing the data folder with other machines (a sync engine such as Syncthing), while the
    // autosave runs: the folder is watched, and a version of a set or of the list that another
    // writer put there is merged into ours against the version it grew from, then saved at
    // once. A sync engine's conflict copy is merged like any other version, then removed. A file
    // that cannot be read (half-written) is left alone and read again at the next look.
    static constexpr std::chrono::seconds kSyncRetry{5};
    // The versions of each set remembered, for the base of another machine's version.
    static constexpr size_t kSyncVersionsKept = 32;
    // What the versions last written or read grew from, all sets together: enough for the other
    // machines to find the base of each set's newest version.
    static constexpr qsizetype kSyncGrewFromKept = 64;
    // Looks at the folder now, as its watch does when a file there changes.
    void syncCheck();

    // Folders made here are private to the user unless other attributes are given.
    bool createDirectoriesAtPath(const QString& path,
                                 std::optional<QFileDevice::Permissions> attributes,
                                 QString& erroString);
    // Whether the add-to-set sheet may make a new set of that name: storable, on one line, its
    // file directly in the folder (a name such as "notes/2024" would need a folder that is not
    // there), and no other set's file.
    bool canNameNewSet(const QString& name) const;
    // Whether a set other than except is stored in the file a set of that name would be.
    bool isSetFileTaken(const QString& name, const PasteSet* except) const;

    // Sets: stepping through them, copying clippings into a set, deleting a set, deleting and
    // selecting clippings. The sheets are window-modal; the sheet flag is up while one shows.
    void changeSet(int step);
    void addSet();
    void setSelectWindowOk();
    void setSelectWindowCancel();
    void sheetSelectDidEnd(int returnCode);
    void deleteSet();
    void setDeleteWindowOk();
    void setDeleteWindowCancel();
    void sheetDeleteDidEnd(int returnCode);
    void deletePasteData();
    void selectAllPasteData();

    // Dragging rows: out of the table as pasteboard content, within it as a move, and in from
    // other programs as a capture at the drop row. The rows dragged are the table's; the rows
    // kept and dropped at are the set's.
    QMimeData* writeRowsWithIndexes(const IndexSet& rows);
    // From the start of a drag out of the table to its drop or cancel.
    void setTableDragging(bool dragging) { _tableDragging = dragging; }
    const IndexSet& draggedDatas() const { return _draggedDatas; }
    // A drop between rows (or after the last) is welcome; a drop onto a row is not, and neither
    // is one of the table's own rows while a filter hides some of the set.
    bool validateDrop(const QMimeData* data, bool betweenRows) const;
    bool acceptDrop(const QMimeData* data, qint32 row);

    // Filtering the table by typing: the field above the table opens with the first character
    // typed and the table shows the clippings whose text contains it. The keyboard stays in
    // the table, which hands the typing on.
    void openFilter();
    void typeFilter(const QString& text);
    // Takes the last character off the filter; false when it holds none.
    bool eraseFilter();
    bool isFilterOpen() const;

    // The clip table's data source, by row of the current set.
    quint64 numberOfRowsInTableView() const;
    QVariant tableView(const QString& identifier, qint64 row) const;
    // The row's picture drawn at the table's size. A picture not drawn yet gives a null image and
    // is drawn on a worker: decoding a screenshot takes a tenth of a second. The table is painted
    // again when it is ready.
    QImage thumbnailForRow(qint64 row);
    const KindName* kindNameForRow(qint64 row) const;

    const std::vector<std::unique_ptr<PasteSet>>& pasteArray() const { return _pasteArray; }
    // The set chosen in the set combo box; null when none is chosen.
    PasteSet* currentSet() const;
    PasteView* table() const { return _table; }
    QDialog* setSelectWindow() const { return _setSelectWindow; }
    QDialog* setDeleteWindow() const { return _setDeleteWindow; }
    signed char bShowSheet() const { return _bShowSheet; }

private:
    // A sheet is up from its beginning to its end, whichever button ends it.
    void beginSheet(QDialog* sheet);
    void endSheet();
    // Hidden with the window, a sheet would never end and the set commands would stay off:
    // hiding the window ends it as Cancel does.
    void cancelOpenSheet();
    // After a sheet: the keys go to the window again.
    void takeFocusBack();
    void awakeFromNib();
    // What the kind column and the paste modes call plain text, in the user's language.
    static QString plainTextName();
    void buildSheets();
    void listChange();
    void filterChange(const QString& typed);
    // Whether the content of a drag is the one the table's own rows left with.
    bool isOwnDrag(const QMimeData* data) const;
    // The rows of the current set that the selected rows of the table show.
    IndexSet selectedSetRows() const;
    // The data folder's sets, as the window loads. A folder that holds none yet is a new one, not
    // a failed load: the history starts empty and is saved there from the next save on.
    void loadDataFolder(const QString& directory);
    void refillSetList();
    void showSet(int index);
    PasteData* dataForRow(qint64 row) const;
    // Drops the clippings past the limit from the end of the set.
    void trimToLimit(PasteSet& set);
    // The set an item of the add-to-set combo stands for: the sets after the history set,
    // without the current one.
    qint64 setIndexForSelectItem(int item) const;
    void copySelectionInto(PasteSet& target);

    struct PendingCapture;
    // The size a row draws its picture at.
    QSizeF thumbnailSize() const;
    // Reads the clipboard's current content on a worker, to enter the history later.
    void startCapture(Pasteboard& pasteboard, qint32 posOfInsert);
    // Lets the waiting captures enter, from the oldest up to the first not yet read.
    void enterCaptures();
    // Gives up reading every content still being read.
    void stopCaptures();

    // The last content read whole from the clipboard, and its change count. The bytes are
    // shared with the clipping made of it.
    struct CapturedContent {
        qint64 count = -1;
        std::optional<QString> text;
        qint32 extraType = 0;
        std::optional<QByteArray> extraData;
    };
    CapturedContent _lastCaptured;

    std::vector<std::unique_ptr<PasteSet>> _pasteArray;
    // Folders whose stored sets this run has loaded or written: a save without asking replaces
    // stored sets nowhere else.
    QSet<QString> _ownFolders;
    std::vector<KindName> _kindString;
    PasteWindowDelegate* _applicationIns = nullptr;
    signed char _bShowSheet = 0;
    QDialog* _openSheet = nullptr;
    IndexSet _draggedDatas;
    bool _tableDragging = false;
    // The content of the drag that left the table last, to know it when it comes back.
    const QMimeData* _ownDrag = nullptr;

    std::unique_ptr<PasteWin> _window;
    PasteTableModel* _model = nullptr;
    QComboBox* _list = nullptr;
    QComboBox* _status = nullptr;
    PasteView* _table = nullptr;
    QDialog* _setSelectWindow = nullptr;
    QComboBox* _setSelectCombo = nullptr;
    QDialog* _setDeleteWindow = nullptr;
    QComboBox* _setDeleteCombo = nullptr;
    QCheckBox* _setDeleteCheck = nullptr;

    // What a folder holds of the sets, as far as this run wrote or read it: the revision of each
    // set stored and the names its list file holds.
    struct SavedSets {
        QString folder;
        std::unordered_map<const PasteSet*, quint64> revisions;
        QStringList list;
    };
    void recordSaved(const QString& directory);
    // Why a set file was not written: the message key and its arguments the user is shown, the
    // archiving error when there was one, and the reason in a few words for the log.
    struct SetFileFailure {
        QString key;
        QString path;
        Strings::Arg detail;
        std::optional<TypedStream::ArchiveError> archiveError;
        QString reason;
    };
    // Writes one set's archive over its file, whole or not at all. Safe on any thread; bytes gets
    // the file's size.
    static std::optional<SetFileFailure> writeSetFile(const QString& directory, const QString& name,
                                                      const PasteDataList& clippings,
                                                      qint64* bytes);
    struct AutosaveJob;
    struct Autosave {
        SavedSets saved;
        // The newest revision and the set names seen at the last tick, to notice a change.
        quint64 seenRevision = 0;
        QStringList seenNames;
        std::optional<Clock::time_point> firstChange;
        Clock::time_point lastChange;
        // A failed save waits for the next change.
        bool failed = false;
        QSet<QString> failuresLogged;
        // The size of each big set file and when it was written, by set name.
        QHash<QString, std::pair<qint64, Clock::time_point>> bigFiles;
        std::shared_ptr<AutosaveJob> running;
    };
    void noticeChanges(Clock::time_point now);
    void startAutosave(const QString& directory, Clock::time_point now);
    void takeAutosave(std::shared_ptr<AutosaveJob> job);
    void logAutosaveFailure(const QString& kind, const QString& text);
    Autosave _autosave;

    // A file as last written or read here: another writer's file has another stamp.
    struct FileStamp {
        qint64 size = -1;
        qint64 modified = 0;
        quint64 inode = 0;
        bool operator==(const FileStamp&) const = default;
    };
    static std::optional<FileStamp> stampOf(const QString& path);
    struct Sharing {
        QString folder;
        std::unique_ptr<FolderWatch> watch;
        QTimer retry;
        // By path.
        QHash<QString, FileStamp> stamps;
        // The keys of each version of a set this machine wrote into the folder or read from it,
        // oldest first, by set name: what another machine's version grew from is among them.
        QHash<QString, std::vector<SetMerge::Keys>> versions;
        QStringList listBase;
        // When each clipping was captured, by digest, and what each version of a set grew from,
        // as far as any machine told; the versions in the order they became known.
        SetFiles::SyncState known;
        QList<QByteArray> grewFromOrder;
        // Whether the sync file is to be written with the next save.
        bool knownChanged = false;
        // Versions read before their writer's word on what they grew from, by path: since when.
        QHash<QString, Clock::time_point> awaited;
        // Conflict copies merged, removed once the merge is saved.
        QStringList mergedCopies;
        // A look asked for while a save ran.
        bool lookAgain = false;
    };
    void shareFolder(const QString& directory);
    void recordShared(const QString& directory);
    // What another machine's version of the set, read from the path, grew from; absent while its
    // writer's word on that may still be on its way.
    std::optional<SetMerge::Keys> baseOf(const QString& path, const QString& set,
                                         const SetMerge::Keys& theirs);
    // Merges another version of the set into it; true when the result differs from that version
    // and is to be saved.
    bool mergeSetVersion(PasteSet& set, PasteDataList theirs, const SetMerge::Keys& base,
                         bool conflictCopy);
    // Notes a version of the set as written or read here.
    void recordVersion(const QString& name, const SetMerge::Keys& keys);
    // Notes that the version of the set about to be written grew from every version written or
    // read here.
    void noteWriting(const QString& name, const SetMerge::Keys& keys);
    void learnGrewFrom(const QByteArray& version, const QList<QByteArray>& earlier);
    // Whether the set differs from the version of it written or read here last.
    bool changedSinceVersion(const PasteSet& set) const;
    // Merges another version of the list; true when the result differs from it.
    bool mergeList(const QStringList& inFile);
    void takeForeignState(const QString& path);
    void noteCaptured(const PasteData& clipping);
    // What the sync file is to hold: the capture times of the clippings the sets hold, and what
    // the versions known grew from.
    SetFiles::SyncState stateToWrite() const;
    Sharing _sharing;

    std::deque<std::shared_ptr<PendingCapture>> _pending;
    // Jobs post their results back to this object, so it outlives them: the destructor waits.
    QThreadPool _captureJobs;
    QThreadPool _autosaveJobs;

    void drawThumbnail(const QByteArray& payload, qint32 type, QSizeF size, qreal pixelRatio);
    void adoptThumbnail(const QByteArray& payload, QSizeF size, std::shared_ptr<Picture> drawn);
    // The payloads whose thumbnails are being drawn, so that repaints meanwhile start no more.
    QSet<const char*> _thumbnailsDrawing;
    QThreadPool _thumbnailJobs;
};
