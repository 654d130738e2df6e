#pragma once

#include "platform/Transfer.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>

class QMimeData;

// The kinds of content Kelvrin reads from and writes to a pasteboard.
enum class PasteboardType { String, RTF, RTFD, TIFF, PDF };

// One piece of content to write: text as UTF-8 for String, the payload bytes otherwise.
struct PasteboardEntry {
    PasteboardType type;
    QByteArray data;
};

// What the owner of a content offers: the names of its types in its order, and whether the mark
// by which password managers flag a secret is among them.
struct PasteboardOffer {
    // An owner offers a few dozen names: of garbage only the first this many are kept, while the
    // mark is looked for among all.
    static constexpr qsizetype kMaxNames = 1024;
    // The type whose value "secret" asks that the content be kept nowhere.
    static constexpr QLatin1StringView kSecretMark{"x-kde-passwordManagerHint"};

    QStringList names;
    bool marked = false;

    // Takes the owner's next name.
    void add(const QString& name);
};

// One content of a pasteboard, as its owner offers it. It is made where the pasteboard noticed
// the content and read by a PasteboardReader, for a clipboard on a worker thread: it holds no GUI
// object, and only one thread reads it at a time. Every answer comes within the transfer given.
class PasteboardContent {
public:
    virtual ~PasteboardContent() = default;

    // What the owner offers; absent when it does not tell.
    virtual std::optional<PasteboardOffer> offer(const Transfer& transfer) = 0;
    // The bytes the owner offers under a name: absent when it refuses, fails, sends more than
    // allowed or takes longer than the transfer allows, or when the transfer is stopped.
    virtual std::optional<QByteArray> read(const QString& name, qsizetype allowed,
                                           const Transfer& transfer) = 0;
    // Whether the pasteboard has moved on to another content since this one was noticed: what was
    // read of it may then be another content's, or nothing at all.
    virtual bool replaced() const { return false; }
};

// A content held in memory, whose reads cost nothing: what we wrote ourselves, or what Qt holds
// for one of our own text fields. A name offered without bytes is one that cannot be supplied.
class HeldContent : public PasteboardContent {
public:
    using Named = QList<std::pair<QString, std::optional<QByteArray>>>;
    explicit HeldContent(Named named) : _named(std::move(named)) {}
    // A copy of what the data holds, taken now: the data may go before the content is read.
    static std::shared_ptr<PasteboardContent> of(const QMimeData& data);

    std::optional<PasteboardOffer> offer(const Transfer& transfer) override;
    std::optional<QByteArray> read(const QString& name, qsizetype allowed,
                                   const Transfer& transfer) override;

private:
    Named _named;
};

// Reads one content the way a capture asks for it: its types, its secret mark, the data of a
// type, each asked of the owner at most once, all within one transfer. Bitmaps come as TIFF, and
// each kind of answer is held to its own size. The names by which programs offer each type are
// kept here and nowhere else.
class PasteboardReader {
public:
    PasteboardReader(std::shared_ptr<PasteboardContent> content, Transfer transfer);

    // The types Kelvrin understands, each once, at the place where the owner first offered one of
    // its names: the first text name stands for the string and the first bitmap name (TIFF, PNG,
    // JPEG, BMP or GIF) for the picture.
    QList<PasteboardType> types();
    // Whether the owner marks the content as a secret, as password managers do: such content is
    // never kept. A mark offered but not readable counts as a secret.
    bool isSecret();
    // The content of a type; absent when the owner cannot supply it.
    std::optional<QByteArray> dataForType(PasteboardType type);
    std::optional<QString> stringForType(PasteboardType type);
    // Whether the reading was stopped or the content replaced meanwhile: what was read counts
    // for nothing, and nothing is to be said of it.
    bool givenUp() const;

private:
    const PasteboardOffer& offer();

    std::shared_ptr<PasteboardContent> _content;
    Transfer _transfer;
    std::optional<PasteboardOffer> _offer;
    QList<PasteboardType> _types;
    QHash<PasteboardType, QString> _names;
    std::optional<bool> _secret;
    QHash<PasteboardType, std::optional<QByteArray>> _data;
    std::optional<std::optional<QString>> _string;
};

// A clipboard as the capture sees it: a change counter, and the current content to be read, by
// a PasteboardReader, away from the thread that answers the user.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Advances on every change of the content, Kelvrin's own writes included. Reading it costs
    // nothing: no round trip to the owner.
    virtual qint64 changeCount() const = 0;
    // The content the change count stands for. Asking costs nothing: the owner is asked only
    // when the content is read.
    virtual std::shared_ptr<PasteboardContent> content() = 0;

    // When the last change the change count saw was the owner going away with its content and
    // nobody taking its place: the change count that content had. Only a clipboard with owners
    // knows this.
    virtual std::optional<qint64> contentGoneWithOwner() const { return std::nullopt; }
    // When the last change put the desktop's own copy of what a program that quit had in its
    // place (GNOME Shell keeps one): the change count of that. It is no copy of the user's, and
    // holds less than the program had: the text alone, without a secret's mark.
    virtual std::optional<qint64> contentTakenOverByKeeper() const { return std::nullopt; }

    // Every type name Kelvrin reads, for those who must declare what they accept.
    static QStringList typeNames();

    // Replaces the content. Besides the stored form it offers what Linux programs expect: the
    // text under every text name, a PNG beside the TIFF. With alsoPrimary the primary selection
    // gets the same content, for the programs that paste from there. The change count of the
    // content written; absent when it could not be written, when a paste must not go ahead.
    std::optional<qint64> write(const QList<PasteboardEntry>& entries, bool alsoPrimary = false);

protected:
    // Replaces the content by these names and bytes, in this order, and advances the count: the
    // count of this content, absent when it could not be written.
    virtual std::optional<qint64>
    writeNames(const QList<std::pair<QString, QByteArray>>& named) = 0;
    // Replaces the primary selection's content the same way; only a desktop's clipboard has one.
    virtual void writePrimaryNames(const QList<std::pair<QString, QByteArray>>&) {}
};
