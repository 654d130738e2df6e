#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stop_token>
#include <utility>

// The kinds of content Kelvrin reads from and writes to a pasteboard.
enum class PasteboardType { String, RTF, RTFD, TIFF, PDF };

// One piece of content to write: text as UTF-8 for String, the payload bytes otherwise.
struct PasteboardEntry {
    PasteboardType type;
    QByteArray data;
};

// A clipboard as the capture sees it: a change counter, the offered types in the owner's
// order, and the content of each type. What the owner offered is asked once per content: a
// content that could not be read is not asked for again. The names by which X11 programs
// offer each type are kept here and nowhere else.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Advances on every change of the content, Kelvrin's own writes included. Reading it costs
    // nothing: no round trip to the owner.
    virtual qint64 changeCount() const = 0;

    // The types Kelvrin understands, each once, at the place where the owner first offered one
    // of its names: the first text name stands for the string and the first bitmap name
    // (TIFF, PNG, JPEG or BMP) for the picture.
    QList<PasteboardType> types();
    // The content of a type; bitmaps come as TIFF. Absent when the owner cannot supply it.
    std::optional<QByteArray> dataForType(PasteboardType type);
    std::optional<QString> stringForType(PasteboardType type);

    // A job that hands back what dataForType would, meant for a worker thread: a screenshot
    // can take most of a second to transfer and to convert, which the window must not wait
    // for. The job holds no reference to this pasteboard or to any GUI object, so it may run
    // anywhere and outlive both. A stop asked for through the token it is given makes it give
    // up at once, answering absent. For the TIFF and PDF types only; other types give a job
    // that answers absent.
    using DataJob = std::function<std::optional<QByteArray>(std::stop_token)>;
    DataJob dataForTypeLater(PasteboardType type);

    // Whether the owner marks the content as a secret, as password managers do: such content
    // is never kept. The mark is asked for only when the owner offers it; a mark that cannot be
    // read is no mark. Each answer here comes from the content current when it was asked for;
    // a reader that asks several questions of one content compares the change count before
    // and after, and takes nothing when it moved.
    bool isSecret();

    // When the last change the change count saw was the owner going away with its content and
    // nobody taking its place: the change count that content had. Only a clipboard with owners
    // knows this.
    virtual std::optional<qint64> contentGoneWithOwner() const { return std::nullopt; }

    // Every X11 type name Kelvrin reads, for those who must declare what they accept.
    static QStringList typeNames();

    // Replaces the content. Besides the stored form it offers what Linux programs expect: the
    // text under every text name, a PNG beside the TIFF. With alsoPrimary the primary selection
    // gets the same content, for the programs that paste from there.
    void write(const QList<PasteboardEntry>& entries, bool alsoPrimary = false);

protected:
    // The owner's type names, in its order.
    virtual QStringList offeredNames() = 0;
    // The bytes offered under one name; absent when the owner does not supply them.
    virtual std::optional<QByteArray> readName(const QString& name) = 0;
    // A thread-safe job reading the bytes offered under one name by the current content. This
    // one reads now, through readName, and the job hands those bytes back: enough where reading
    // costs nothing. A pasteboard whose reads are slow does the reading in the job instead.
    virtual DataJob readNameLater(const QString& name);
    // The text offered under one of the text names.
    virtual std::optional<QString> readText(const QString& name);
    // Replaces the content by these names and bytes, in this order, and advances the count.
    virtual void writeNames(const QList<std::pair<QString, QByteArray>>& named) = 0;
    // Replaces the primary selection's content the same way; only a desktop's clipboard has one.
    virtual void writePrimaryNames(const QList<std::pair<QString, QByteArray>>&) {}

private:
    // What was learnt about the current content, so nothing is asked twice.
    struct Snapshot {
        qint64 count = -1;
        bool typesRead = false;
        QList<PasteboardType> types;
        QHash<PasteboardType, QString> names;
        bool secretMarkOffered = false;
        std::optional<bool> secret;
        QHash<PasteboardType, std::optional<QByteArray>> data;
        std::optional<std::optional<QString>> string;
    };
    Snapshot& snapshot();
    // The snapshot with the offered types read: the same one whatever changes while they are.
    Snapshot& snapshotWithTypes();

    Snapshot _snapshot;
};
