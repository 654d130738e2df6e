#include "platform/Strings.h"

#include "platform/Language.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QReadWriteLock>
#include <QRegularExpression>

// The message table is compiled into this static library; linking it in must be asked for.
static void initMessageResources() {
    Q_INIT_RESOURCE(resources);
}

namespace Strings {

QString Arg::text() const {
    if (const auto* text = std::get_if<QString>(&_value))
        return *text;
    if (const auto* bytes = std::get_if<QByteArray>(&_value))
        return QString::fromUtf8(*bytes);
    if (const auto* number = std::get_if<qint64>(&_value))
        return QString::number(*number);
    return QString::number(std::get<quint64>(_value));
}

QByteArray Arg::bytes() const {
    if (const auto* bytes = std::get_if<QByteArray>(&_value))
        return *bytes;
    return text().toUtf8();
}

qint64 Arg::signedNumber() const {
    if (const auto* number = std::get_if<qint64>(&_value))
        return *number;
    if (const auto* number = std::get_if<quint64>(&_value))
        return qint64(*number);
    return 0;
}

quint64 Arg::unsignedNumber() const {
    if (const auto* number = std::get_if<quint64>(&_value))
        return *number;
    return quint64(signedNumber());
}

namespace {

using Table = QHash<QString, QString>;

// Unreadable or not a JSON object: an empty table. Only texts are taken.
Table readTable(const QString& path) {
    Table table;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.value().isString())
            table.insert(it.key(), it.value().toString());
    return table;
}

Table readEnglishTable() {
    initMessageResources();
    return readTable(QStringLiteral(":/messages.json"));
}

struct Tables {
    QReadWriteLock lock;
    const Table english = readEnglishTable();
    // Only texts that take the same arguments as the English ones they replace: a translation
    // that drops or reorders a conversion would print the callers' arguments in the wrong place.
    Table translation;
};

Tables& tables() {
    static Tables tables;
    return tables;
}

// Lookups made for the log on this thread, which stays English whatever the user's language.
thread_local int englishOnly = 0;

// %s stops at the first NUL like the C conversion; a precision cuts the bytes first, and a
// multi-byte character cut in half decodes to a replacement character rather than garbage.
QString cString(QByteArray bytes, qsizetype precision) {
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    if (precision >= 0 && precision < bytes.size())
        bytes.truncate(precision);
    return QString::fromUtf8(bytes);
}

class Formatter {
public:
    Formatter(const QString& format, std::initializer_list<Arg> args)
        : _format(format), _next(args.begin()), _end(args.end()) {}

    QString run() {
        QString out;
        out.reserve(_format.size());
        for (_pos = 0; _pos < _format.size(); ++_pos) {
            if (_format[_pos] == u'%')
                out += conversion();
            else
                out += _format[_pos];
        }
        return out;
    }

private:
    // Reads one conversion starting at the '%' under _pos and leaves _pos on its last character.
    QString conversion() {
        const qsizetype start = _pos;
        auto rest = [&](const char* spelling) {
            const QLatin1StringView view(spelling);
            if (QStringView(_format).mid(start + 1).startsWith(view)) {
                _pos = start + view.size();
                return true;
            }
            return false;
        };
        if (rest("%"))
            return QStringLiteral("%");
        if (rest("@"))
            return take() ? _arg->text() : QString();
        if (rest("ld") || rest("d") || rest("i"))
            return take() ? QString::number(_arg->signedNumber()) : QString();
        if (rest("lu") || rest("u"))
            return take() ? QString::number(_arg->unsignedNumber()) : QString();
        if (rest("s"))
            return take() ? cString(_arg->bytes(), -1) : QString();
        if (rest(".*s")) {
            if (!take())
                return QString();
            const qint64 precision = _arg->signedNumber();
            return take() ? cString(_arg->bytes(), precision < 0 ? -1 : precision) : QString();
        }
        return QStringLiteral("%");
    }

    bool take() {
        if (_next == _end)
            return false;
        _arg = _next++;
        return true;
    }

    const QString& _format;
    const Arg* _next;
    const Arg* _end;
    const Arg* _arg = nullptr;
    qsizetype _pos = 0;
};

} // namespace

QStringList conversions(const QString& format) {
    static const QRegularExpression conversion(QStringLiteral("%(%|@|ld|lu|d|i|u|\\.\\*s|s)"));
    QStringList found;
    for (const auto& match : conversion.globalMatch(format))
        found << match.captured(1);
    return found;
}

QString localized(const QString& key) {
    Tables& all = tables();
    const QReadLocker reading(&all.lock);
    if (!englishOnly)
        if (const auto text = all.translation.constFind(key); text != all.translation.cend())
            return *text;
    return all.english.value(key, key);
}

void setLanguage(const QString& language) {
    setTranslation(language == Language::kEnglish
                       ? QString()
                       : QStringLiteral(":/messages.%1.json").arg(language));
}

void setTranslation(const QString& path) {
    Tables& all = tables();
    Table translation = path.isEmpty() ? Table() : readTable(path);
    for (auto text = translation.begin(); text != translation.end();) {
        const auto english = all.english.constFind(text.key());
        if (english == all.english.cend() || conversions(*english) != conversions(*text))
            text = translation.erase(text);
        else
            ++text;
    }
    const QWriteLocker writing(&all.lock);
    all.translation = std::move(translation);
}

InEnglish::InEnglish() {
    ++englishOnly;
}

InEnglish::~InEnglish() {
    --englishOnly;
}

QString format(const QString& format, std::initializer_list<Arg> args) {
    return Formatter(format, args).run();
}

QString localizedFormat(const QString& key, std::initializer_list<Arg> args) {
    return format(localized(key), args);
}

} // namespace Strings
