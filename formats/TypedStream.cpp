#include "formats/TypedStream.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QtEndian>
#include <deque>
#include <limits>

namespace TypedStream {

const QString ArchiveError::kInconsistency = QStringLiteral("NSArchiverArchiveInconsistency");
const QString ArchiveError::kInvalidArgument = QStringLiteral("NSInvalidArgumentException");

ArchiveError::ArchiveError(const QString& name, const QString& reason,
                           QHash<QString, qint64> classVersions)
    : _name(name), _reason(reason), _classVersions(std::move(classVersions)),
      _what((name + QStringLiteral(": ") + reason).toUtf8()) {}

Value Value::fromInteger(qint64 value) {
    Value result;
    result.kind = Kind::Integer;
    result.integer = value;
    return result;
}

Value Value::fromText(const QString& text) {
    Value result;
    result.kind = Kind::Text;
    result.text = text;
    return result;
}

Value Value::fromBytes(const QByteArray& bytes) {
    Value result;
    result.kind = Kind::Bytes;
    result.bytes = bytes;
    return result;
}

Value Value::arrayOf(std::vector<Value> elements, bool mutableArray) {
    Value result;
    result.kind = Kind::Array;
    result.elements = std::move(elements);
    result.mutableArray = mutableArray;
    return result;
}

Value Value::recordOf(const QString& className, qint32 classVersion, std::vector<Value> fields) {
    Value result;
    result.kind = Kind::Record;
    result.className = className;
    result.classVersion = classVersion;
    result.elements = std::move(fields);
    return result;
}

namespace {

// Head bytes, read as the start of an item.
constexpr quint8 kInt16 = 0x81;
constexpr quint8 kInt32 = 0x82;
constexpr quint8 kNew = 0x84;
constexpr quint8 kNil = 0x85;
constexpr quint8 kEnd = 0x86;

// The smallest integer a single byte holds, and so the number of entry 0 of either table.
constexpr qint64 kFirstReference = -110;

constexpr char kStreamerVersion = 4;
constexpr qint64 kSystemVersion = 1000;
const QByteArray kLittleEndian = QByteArrayLiteral("streamtyped");
const QByteArray kBigEndian = QByteArrayLiteral("typedstream");

const QString kRootClass = QStringLiteral("NSObject");

// What an object's class makes of its body.
enum class Shape { Root, Array, Text, Bytes, Record };

// The Foundation classes a set file holds, with the one superclass each has on macOS and the
// version macOS writes for it.
struct FoundationClass {
    const char* name;
    const char* superclass;
    Shape shape;
    qint32 version;
};
constexpr FoundationClass kFoundation[] = {
    {"NSArray", "NSObject", Shape::Array, 0}, {"NSMutableArray", "NSArray", Shape::Array, 0},
    {"NSString", "NSObject", Shape::Text, 1}, {"NSMutableString", "NSString", Shape::Text, 1},
    {"NSData", "NSObject", Shape::Bytes, 0},  {"NSMutableData", "NSData", Shape::Bytes, 0},
};

const FoundationClass* foundationClass(const QString& name) {
    for (const FoundationClass& known : kFoundation) {
        if (name == QLatin1String(known.name))
            return &known;
    }
    return nullptr;
}

QByteArray dataType(qint64 length) {
    return '[' + QByteArray::number(length) + "c]";
}

QByteArray utf8(const QString& text) {
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    return encoder(text);
}

[[noreturn]] void invalid(const QString& reason) {
    throw ArchiveError(ArchiveError::kInvalidArgument, reason);
}

class Writer {
public:
    QByteArray write(const Value& root) {
        _out.append(kStreamerVersion);
        writeInteger(kLittleEndian.size());
        _out.append(kLittleEndian);
        writeInteger(kSystemVersion);
        writeShared("@");
        writeObject(root, 1);
        return _out;
    }

private:
    struct ClassEntry {
        qsizetype number;
        qint32 version;
    };
    struct ClassLink {
        QByteArray name;
        qint32 version;
    };

    void writeInteger(qint64 value) {
        if (value >= kFirstReference && value <= 127) {
            _out.append(char(value));
        } else if (value >= -32767 && value <= 32767) {
            char buffer[2];
            qToLittleEndian(qint16(value), buffer);
            _out.append(char(kInt16)).append(buffer, 2);
        } else if (value >= std::numeric_limits<qint32>::min() &&
                   value <= std::numeric_limits<qint32>::max()) {
            char buffer[4];
            qToLittleEndian(qint32(value), buffer);
            _out.append(char(kInt32)).append(buffer, 4);
        } else {
            invalid(QStringLiteral("%1 does not fit in 32 bits").arg(value));
        }
    }

    void writeShared(const QByteArray& string) {
        const auto known = _strings.constFind(string);
        if (known != _strings.constEnd()) {
            writeInteger(kFirstReference + *known);
            return;
        }
        _strings.insert(string, _strings.size());
        _out.append(char(kNew));
        writeInteger(string.size());
        _out.append(string);
    }

    // Subclass first; the chain stops at the first class already written.
    void writeClassChain(std::initializer_list<ClassLink> chain) {
        for (const ClassLink& link : chain) {
            const auto known = _classes.constFind(link.name);
            if (known != _classes.constEnd()) {
                if (known->version != link.version)
                    invalid(QStringLiteral("class %1 with versions %2 and %3")
                                .arg(QString::fromUtf8(link.name), QString::number(known->version),
                                     QString::number(link.version)));
                writeInteger(kFirstReference + known->number);
                return;
            }
            _out.append(char(kNew));
            _classes.insert(link.name, {_objects++, link.version});
            writeShared(link.name);
            writeInteger(link.version);
        }
        _out.append(char(kNil));
    }

    void writeObject(const Value& value, int depth) {
        if (depth > kMaxDepth)
            invalid(QStringLiteral("objects nested deeper than %1").arg(kMaxDepth));
        if (value.kind == Value::Kind::Nil) {
            _out.append(char(kNil));
            return;
        }
        if (value.kind == Value::Kind::Integer)
            invalid(QStringLiteral("an integer where an object belongs"));
        _out.append(char(kNew));
        ++_objects;
        switch (value.kind) {
        case Value::Kind::Text: {
            writeClassChain({{"NSString", 1}, {"NSObject", 0}});
            const QByteArray bytes = utf8(value.text);
            writeShared("+");
            writeInteger(bytes.size());
            _out.append(bytes);
            break;
        }
        case Value::Kind::Bytes:
            writeClassChain({{"NSData", 0}, {"NSObject", 0}});
            writeShared("i");
            writeInteger(value.bytes.size());
            writeShared(dataType(value.bytes.size()));
            _out.append(value.bytes);
            break;
        case Value::Kind::Array:
            if (value.mutableArray)
                writeClassChain({{"NSMutableArray", 0}, {"NSArray", 0}, {"NSObject", 0}});
            else
                writeClassChain({{"NSArray", 0}, {"NSObject", 0}});
            writeShared("i");
            writeInteger(qint64(value.elements.size()));
            for (const Value& element : value.elements) {
                if (element.kind == Value::Kind::Nil)
                    invalid(QStringLiteral("nil inside an array"));
                writeShared("@");
                writeObject(element, depth + 1);
            }
            break;
        case Value::Kind::Record:
            if (value.className.isEmpty() || value.className == kRootClass ||
                foundationClass(value.className))
                invalid(QStringLiteral("a record cannot be of class \"%1\"").arg(value.className));
            writeClassChain({{utf8(value.className), value.classVersion}, {"NSObject", 0}});
            for (const Value& field : value.elements) {
                if (field.kind == Value::Kind::Integer) {
                    if (field.integer < std::numeric_limits<qint32>::min() ||
                        field.integer > std::numeric_limits<qint32>::max())
                        invalid(QStringLiteral("field %1 of a %2 does not fit in 32 bits")
                                    .arg(field.integer)
                                    .arg(value.className));
                    writeShared("i");
                    writeInteger(field.integer);
                } else {
                    writeShared("@");
                    writeObject(field, depth + 1);
                }
            }
            break;
        case Value::Kind::Nil:
        case Value::Kind::Integer:
            break;
        }
        _out.append(char(kEnd));
    }

    QByteArray _out;
    QHash<QByteArray, qsizetype> _strings;
    QHash<QByteArray, ClassEntry> _classes;
    qsizetype _objects = 0;
};

// Reads into a flat table of nodes first, where an object repeated by reference is one node
// with several parents; the tree is built from it at the end. That keeps reading linear however
// the references are arranged, and lets the expansion be counted before it is paid for.
class Reader {
public:
    explicit Reader(const QByteArray& bytes)
        : _data(reinterpret_cast<const quint8*>(bytes.constData())), _size(bytes.size()),
          _memoryLeft(kMemoryFactor * bytes.size() + kMemorySlack) {}

    Archive read() {
        if (byte() != kStreamerVersion)
            fail(QStringLiteral("not a typedstream archive (streamer version %1)")
                     .arg(_data[_mark]));
        if (byte() != kLittleEndian.size())
            fail(QStringLiteral("a signature that is not 11 bytes long"));
        const QByteArray signature = take(kLittleEndian.size());
        if (signature == kBigEndian)
            _bigEndian = true;
        else if (signature != kLittleEndian)
            fail(QStringLiteral("an unknown signature"));
        integer(); // the system version: every one writes the same layout
        expectType("@");
        const qsizetype root = object(1);
        if (_pos != _size) {
            _mark = _pos;
            fail(QStringLiteral("%1 bytes after the root object").arg(_size - _pos));
        }
        Archive archive;
        archive.root = build(root);
        archive.classVersions = _versions;
        return archive;
    }

private:
    struct Node {
        Value value; // elements left empty: they are the children
        std::vector<qsizetype> children;
        int height = 0; // objects on the longest path down, this one included
    };
    // An entry of the object table: an object or a class, usable once complete.
    struct Entry {
        bool isClass = false;
        bool complete = false;
        qsizetype node = -1;
        QString name;
        qint32 version = 0;
        Shape shape = Shape::Record;
    };

    [[noreturn]] void fail(const QString& reason) const {
        throw ArchiveError(
            ArchiveError::kInconsistency,
            QStringLiteral("malformed archive at byte %1: %2").arg(_mark).arg(reason), _versions);
    }

    // Counts what the values read so far hold in memory; a small archive of many tiny values
    // could otherwise take a hundred times its size.
    void spend(qint64 bytes) {
        _memoryLeft -= bytes;
        if (_memoryLeft < 0)
            fail(QStringLiteral("values that would take more than %1 bytes of memory")
                     .arg(kMemoryFactor * _size + kMemorySlack));
    }

    qsizetype remaining() const { return _size - _pos; }

    quint8 peek() {
        if (_pos >= _size) {
            _mark = _pos;
            fail(QStringLiteral("the archive ends early"));
        }
        return _data[_pos];
    }

    quint8 byte() {
        const quint8 head = peek();
        _mark = _pos++;
        return head;
    }

    QByteArray take(qint64 length) {
        if (length > remaining())
            fail(QStringLiteral("%1 bytes wanted, %2 left").arg(length).arg(remaining()));
        spend(length);
        const QByteArray bytes(reinterpret_cast<const char*>(_data + _pos), qsizetype(length));
        _pos += qsizetype(length);
        return bytes;
    }

    template <typename T> T fixed() {
        if (qsizetype(sizeof(T)) > remaining())
            fail(QStringLiteral("the archive ends inside a number"));
        const quint8* at = _data + _pos;
        _pos += sizeof(T);
        return _bigEndian ? qFromBigEndian<T>(at) : qFromLittleEndian<T>(at);
    }

    qint64 integerAfter(quint8 head) {
        if (head == kInt16)
            return fixed<qint16>();
        if (head == kInt32)
            return fixed<qint32>();
        if (qint8(head) < kFirstReference)
            fail(QStringLiteral("byte 0x%1 where a number belongs").arg(head, 2, 16, QChar(u'0')));
        return qint8(head);
    }

    qint64 integer() { return integerAfter(byte()); }

    qint64 length() {
        const qint64 value = integer();
        if (value < 0 || value > remaining())
            fail(QStringLiteral("length %1 with %2 bytes left").arg(value).arg(remaining()));
        return value;
    }

    QByteArray sharedString() {
        const quint8 head = byte();
        if (head == kNew) {
            spend(sizeof(QByteArray));
            _strings.push_back(take(length()));
            return _strings.back();
        }
        if (head == kNil)
            fail(QStringLiteral("nil where a type or class name belongs"));
        const qsizetype at = _mark;
        const qint64 index = integerAfter(head) - kFirstReference;
        if (index < 0 || index >= qint64(_strings.size())) {
            _mark = at;
            fail(QStringLiteral("string reference %1 with %2 strings read")
                     .arg(index + kFirstReference)
                     .arg(_strings.size()));
        }
        return _strings[qsizetype(index)];
    }

    void expectType(const char* type) {
        const QByteArray found = sharedString();
        if (found != type)
            fail(QStringLiteral("type \"%1\" where \"%2\" belongs")
                     .arg(QString::fromLatin1(found.toPercentEncoding()), QLatin1String(type)));
    }

    void expectEnd() {
        if (byte() != kEnd)
            fail(QStringLiteral("an object that goes on past what its class holds"));
    }

    qsizetype entryAfter(quint8 head) {
        const qsizetype at = _mark;
        const qint64 index = integerAfter(head) - kFirstReference;
        _mark = at;
        if (index < 0 || index >= qint64(_entries.size()))
            fail(QStringLiteral("object reference %1 with %2 entries read")
                     .arg(index + kFirstReference)
                     .arg(_entries.size()));
        return qsizetype(index);
    }

    QString className() {
        const QByteArray name = sharedString();
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder(name);
        if (name.isEmpty() || decoder.hasError())
            fail(QStringLiteral("a class name that is empty or not UTF-8"));
        return text;
    }

    // Reads a class chain and answers the entry of its first (most derived) class.
    qsizetype classChain() {
        std::vector<qsizetype> added; // subclass first
        qsizetype chainEnd = -1;      // the class written before that the chain ends at
        for (;;) {
            const quint8 head = byte();
            if (head == kNew) {
                spend(sizeof(Entry));
                added.push_back(_entries.size());
                _entries.push_back({true, false, -1, QString(), 0, Shape::Record});
                QString name = className();
                const qint64 version = integer();
                _entries[added.back()].name = std::move(name);
                _entries[added.back()].version = qint32(version);
                continue;
            }
            if (head == kNil) {
                if (added.empty())
                    fail(QStringLiteral("an object without a class"));
                break;
            }
            chainEnd = entryAfter(head);
            if (!_entries[chainEnd].isClass)
                fail(QStringLiteral("an object where a class belongs"));
            if (!_entries[chainEnd].complete)
                fail(QStringLiteral("a class chain that loops back on itself"));
            break;
        }
        qsizetype superclass = chainEnd;
        for (auto it = added.rbegin(); it != added.rend(); ++it) {
            settleClass(*it, superclass);
            superclass = *it;
        }
        return added.empty() ? chainEnd : added.front();
    }

    // Decides what a class's objects hold, from its name and its superclass's.
    void settleClass(qsizetype index, qsizetype superclass) {
        Entry& entry = _entries[index];
        if (superclass < 0) {
            if (entry.name != kRootClass)
                fail(QStringLiteral("class %1 without a superclass").arg(entry.name));
            entry.shape = Shape::Root;
        } else if (entry.name == kRootClass) {
            fail(QStringLiteral("NSObject with a superclass"));
        } else {
            const Entry& parent = _entries[superclass];
            if (const FoundationClass* known = foundationClass(entry.name)) {
                if (parent.name != QLatin1String(known->superclass))
                    fail(QStringLiteral("class %1 derived from %2").arg(entry.name, parent.name));
                entry.shape = known->shape;
            } else if (parent.shape == Shape::Root || parent.shape == Shape::Record) {
                entry.shape = Shape::Record;
            } else {
                fail(QStringLiteral("class %1 derived from %2").arg(entry.name, parent.name));
            }
        }
        const auto recorded = _versions.constFind(entry.name);
        if (recorded != _versions.constEnd() && *recorded != entry.version)
            fail(QStringLiteral("class %1 with versions %2 and %3")
                     .arg(entry.name, QString::number(*recorded), QString::number(entry.version)));
        _versions.insert(entry.name, entry.version);
        entry.complete = true;
    }

    qsizetype addNode(Value value, std::vector<qsizetype> children = {}) {
        int height = value.kind == Value::Kind::Integer ? 0 : 1;
        for (qsizetype child : children)
            height = std::max(height, _nodes[child].height + 1);
        if (height > kMaxDepth)
            fail(QStringLiteral("objects nested deeper than %1").arg(kMaxDepth));
        spend(qint64(sizeof(Node) + children.size() * sizeof(qsizetype)));
        _nodes.push_back({std::move(value), std::move(children), height});
        return qsizetype(_nodes.size()) - 1;
    }

    qsizetype object(int depth) {
        if (depth > kMaxDepth)
            fail(QStringLiteral("objects nested deeper than %1").arg(kMaxDepth));
        const quint8 head = byte();
        if (head == kNil)
            return addNode(Value::nil());
        if (head != kNew) {
            const Entry& entry = _entries[entryAfter(head)];
            if (entry.isClass)
                fail(QStringLiteral("a class where an object belongs"));
            if (!entry.complete)
                fail(QStringLiteral("an object that contains itself"));
            return entry.node;
        }
        const qsizetype self = _entries.size();
        spend(sizeof(Entry));
        _entries.emplace_back();
        const Entry leaf = _entries[classChain()];
        qsizetype node = -1;
        switch (leaf.shape) {
        case Shape::Root:
            fail(QStringLiteral("an object of class NSObject itself"));
        case Shape::Array:
            node = arrayBody(depth, leaf.name != QLatin1String("NSArray"));
            break;
        case Shape::Text:
            node = textBody();
            break;
        case Shape::Bytes:
            node = bytesBody();
            break;
        case Shape::Record:
            node = recordBody(leaf, depth);
            break;
        }
        _entries[self].node = node;
        _entries[self].complete = true;
        return node;
    }

    qsizetype arrayBody(int depth, bool mutableArray) {
        expectType("i");
        const qint64 count = integer();
        // Every element takes at least its type reference and one byte of object.
        if (count < 0 || count > remaining() / 2)
            fail(QStringLiteral("%1 elements with %2 bytes left").arg(count).arg(remaining()));
        std::vector<qsizetype> children;
        children.reserve(size_t(count));
        for (qint64 i = 0; i < count; ++i) {
            expectType("@");
            const qsizetype child = object(depth + 1);
            if (_nodes[child].value.kind == Value::Kind::Nil)
                fail(QStringLiteral("nil inside an array"));
            children.push_back(child);
        }
        expectEnd();
        return addNode(Value::arrayOf({}, mutableArray), std::move(children));
    }

    qsizetype textBody() {
        expectType("+");
        const QByteArray bytes = take(length());
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                         QStringDecoder::Flag::ConvertInitialBom);
        spend(bytes.size() * qint64(sizeof(QChar)));
        const QString text = decoder(bytes);
        if (decoder.hasError())
            fail(QStringLiteral("a text that is not UTF-8"));
        expectEnd();
        return addNode(Value::fromText(text));
    }

    qsizetype bytesBody() {
        expectType("i");
        const qint64 size = length();
        const QByteArray type = sharedString();
        if (type != dataType(size))
            fail(QStringLiteral("data of %1 bytes with a mismatched type").arg(size));
        const QByteArray bytes = take(size);
        expectEnd();
        return addNode(Value::fromBytes(bytes));
    }

    qsizetype recordBody(const Entry& leaf, int depth) {
        std::vector<qsizetype> children;
        while (peek() != kEnd) {
            const QByteArray type = sharedString();
            if (type == "i")
                children.push_back(addNode(Value::fromInteger(integer())));
            else if (type == "@")
                children.push_back(object(depth + 1));
            else
                fail(QStringLiteral("a group of type \"%1\" in a %2")
                         .arg(QString::fromLatin1(type.toPercentEncoding()), leaf.name));
        }
        ++_pos;
        return addNode(Value::recordOf(leaf.name, leaf.version, {}), std::move(children));
    }

    // Every value built, repeats included, is paid for from a budget of one per byte of
    // input: an archive without references never needs more, so only an archive whose
    // references multiply it runs out.
    Value build(qsizetype index) {
        if (++_built > _size) {
            _mark = _size;
            fail(QStringLiteral("references that repeat more values than the archive has bytes"));
        }
        spend(sizeof(Value));
        const Node& node = _nodes[index];
        Value value = node.value;
        value.elements.reserve(node.children.size());
        for (qsizetype child : node.children)
            value.elements.push_back(build(child));
        return value;
    }

    const quint8* _data;
    qsizetype _size;
    qsizetype _pos = 0;
    qsizetype _mark = 0; // where the item being read began, for the error
    bool _bigEndian = false;
    std::vector<QByteArray> _strings;
    // Deques: growing never copies what was read, so what is counted is what is held.
    std::deque<Entry> _entries;
    std::deque<Node> _nodes;
    QHash<QString, qint64> _versions;
    qsizetype _built = 0;
    qint64 _memoryLeft;
};

} // namespace

QByteArray encode(const Value& root) {
    return Writer().write(root);
}

Archive decode(const QByteArray& bytes) {
    return Reader(bytes).read();
}

} // namespace TypedStream
