#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <initializer_list>
#include <variant>

// The message table (every user-visible text, looked up by key) and the formatter for its
// texts, which use the conversions %@ %d %i %u %ld %lu %s %.*s and %%.
namespace Strings {

// One argument of a format: %@ takes a text, the integer conversions take a number, %s takes
// UTF-8 bytes, and %.*s takes a number (the precision, in bytes) followed by bytes.
class Arg {
public:
    Arg(const QString& text) : _value(text) {}
    Arg(const char* text) : _value(QString::fromUtf8(text)) {}
    Arg(const QByteArray& bytes) : _value(bytes) {}
    Arg(int number) : _value(qint64(number)) {}
    Arg(long number) : _value(qint64(number)) {}
    Arg(long long number) : _value(qint64(number)) {}
    Arg(unsigned number) : _value(quint64(number)) {}
    Arg(unsigned long number) : _value(quint64(number)) {}
    Arg(unsigned long long number) : _value(quint64(number)) {}

    QString text() const;
    QByteArray bytes() const;
    qint64 signedNumber() const;
    quint64 unsignedNumber() const;

private:
    std::variant<QString, QByteArray, qint64, quint64> _value;
};

// The conversions of a format in order ("@", "d", ".*s", "%"…): what its arguments must match.
QStringList conversions(const QString& format);

// The text for the key in the user's language; the English text when the language's table has
// no such entry, and the key itself when neither has.
QString localized(const QString& key);

// Makes the language's table (resources/messages.<language>.json) the one the texts come from.
// English, or a language without a table, leaves the English texts alone.
void setLanguage(const QString& language);

// The same with the translated table read from the file. A file that cannot be read or is not a
// JSON object translates nothing; an entry whose conversions differ from the English text's, or
// whose key English does not have, is left out.
void setTranslation(const QString& path);

// While one lives, the lookups of this thread give the English texts: for messages that go to
// the log, which developers and bug reports read in English.
class InEnglish {
public:
    InEnglish();
    ~InEnglish();
    InEnglish(const InEnglish&) = delete;
    InEnglish& operator=(const InEnglish&) = delete;
};

// Applies the arguments in order. A conversion without an argument left prints nothing, and
// an unknown conversion is copied as it stands.
QString format(const QString& format, std::initializer_list<Arg> args = {});

// The localized text of the key, formatted.
QString localizedFormat(const QString& key, std::initializer_list<Arg> args = {});

} // namespace Strings
