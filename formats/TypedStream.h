#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <exception>
#include <vector>

// The typedstream archive: the sequential, non-keyed format of NSArchiver and NSUnarchiver,
// written and read byte for byte as macOS does, so a set file moves between the two platforms.
// The module knows only a generic tree of values: arrays, texts, data, integers, nil and
// records of a class of the caller's own (a class whose superclass is NSObject).
namespace TypedStream {

// Nesting of objects allowed on both sides, root included; what we write we can read back.
constexpr int kMaxDepth = 64;

// One archived value. Only the fields of its kind are meaningful; the others keep their
// defaults, so two values of the same content compare equal.
struct Value {
    enum class Kind { Nil, Integer, Text, Bytes, Array, Record };

    Kind kind = Kind::Nil;
    qint64 integer = 0;          // Integer: the value of an "i" group (32-bit)
    QString text;                // Text: an NSString (or NSMutableString when read)
    QByteArray bytes;            // Bytes: an NSData (or NSMutableData when read)
    std::vector<Value> elements; // Array: the elements; Record: its groups in order
    QString className;           // Record: the class (its superclass is NSObject)
    qint32 classVersion = 0;     // Record: the version recorded for the class
    bool mutableArray = true;    // Array: NSMutableArray rather than NSArray

    static Value nil() { return {}; }
    static Value fromInteger(qint64 value);
    static Value fromText(const QString& text);
    static Value fromBytes(const QByteArray& bytes);
    static Value arrayOf(std::vector<Value> elements, bool mutableArray = true);
    static Value recordOf(const QString& className, qint32 classVersion, std::vector<Value> fields);

    friend bool operator==(const Value&, const Value&) = default;
};

// What a decode yields: the root and the version recorded for every class named in the
// archive, the table NSUnarchiver's versionForClassName: answers from.
struct Archive {
    Value root;
    QHash<QString, qint64> classVersions;

    // -1 for a class the archive does not name.
    qint64 versionForClassName(const QString& className) const {
        return classVersions.value(className, -1);
    }
};

// An archive that cannot be read or a tree that cannot be written; also the exception the
// callers of decode raise themselves (a record of a newer version), hence the open name.
class ArchiveError : public std::exception {
public:
    ArchiveError(const QString& name, const QString& reason,
                 QHash<QString, qint64> classVersions = {});

    const QString& name() const { return _name; }
    const QString& reason() const { return _reason; }
    // The version of every class a failed decode had read, as Archive::classVersions: a
    // newer version of the caller's own class tells a newer format from a damaged archive.
    const QHash<QString, qint64>& classVersions() const { return _classVersions; }
    const char* what() const noexcept override { return _what.constData(); }

    // The name decode errors carry, as NSUnarchiver names a damaged archive.
    static const QString kInconsistency;
    // The name encode errors carry: the tree holds something the format cannot say.
    static const QString kInvalidArgument;

private:
    QString _name;
    QString _reason;
    QHash<QString, qint64> _classVersions;
    QByteArray _what;
};

// The little-endian "streamtyped" archive with system version 1000 that macOS writes. Texts are
// written as UTF-8; a lone surrogate becomes U+FFFD. Throws ArchiveError (kInvalidArgument) for
// an integer where an object belongs, an integer outside 32 bits, nil inside an array, a
// record class without a name or with a Foundation name, one class name with two versions,
// or nesting deeper than kMaxDepth.
QByteArray encode(const Value& root);

// Reads what real systems write: both byte orders, the mutable and immutable Foundation
// classes, objects repeated by reference (the same value again), integers and references of
// every width. Anything else, including bytes after the root object, throws ArchiveError
// (kInconsistency). Time and memory are linear in the input: the values that references
// repeat may together hold no more values than the archive has bytes, and an archive whose
// values would take more than kMemoryFactor times its size (beyond kMemorySlack) is refused
// as it is read, before that memory is taken.
constexpr qint64 kMemoryFactor = 16;
constexpr qint64 kMemorySlack = 64 << 20;
Archive decode(const QByteArray& bytes);

} // namespace TypedStream
