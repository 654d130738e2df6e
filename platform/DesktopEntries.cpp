#include "platform/DesktopEntries.h"

#include "platform/Language.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <optional>

namespace {

// What an entry says of its program.
struct Entry {
    QString name;
    QString wmClass;
    // A deleted entry, which also hides the entries of that name in the folders after it.
    bool hidden = false;
};

// The suffixes of localized keys for the locale, most specific first: lang_COUNTRY@MODIFIER,
// lang_COUNTRY, lang@MODIFIER, lang. The encoding plays no part.
QStringList localeSuffixes(const QString& locale) {
    static const QRegularExpression form(
        QStringLiteral("^([^_.@]+)(?:_([^.@]+))?(?:\\.[^@]*)?(?:@(.+))?$"));
    const QRegularExpressionMatch match = form.match(locale);
    if (!match.hasMatch() || locale == u"C" || locale == u"POSIX")
        return {};
    const QString language = match.captured(1);
    const QString country = match.captured(2);
    const QString modifier = match.captured(3);
    QStringList suffixes;
    if (!country.isEmpty() && !modifier.isEmpty())
        suffixes << language + u'_' + country + u'@' + modifier;
    if (!country.isEmpty())
        suffixes << language + u'_' + country;
    if (!modifier.isEmpty())
        suffixes << language + u'@' + modifier;
    suffixes << language;
    return suffixes;
}

// A string value with its escapes (\s \n \t \r \\) undone.
QString unescaped(QStringView value) {
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        switch (value[++i].unicode()) {
        case 's':
            text += u' ';
            break;
        case 'n':
            text += u'\n';
            break;
        case 't':
            text += u'\t';
            break;
        case 'r':
            text += u'\r';
            break;
        default:
            text += value[i];
        }
    }
    return text;
}

// The keys of the entry's [Desktop Entry] group that name its program, with the Name of the
// most specific locale suffix found.
Entry read(const QString& path, const QStringList& suffixes) {
    QFile file(path);
    Entry entry;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    qsizetype nameRank = suffixes.size() + 1;
    bool inEntryGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inEntryGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inEntryGroup || line.startsWith(u'#') || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QStringView value = QStringView(line).mid(equals + 1).trimmed();
        if (key == u"StartupWMClass") {
            entry.wmClass = unescaped(value);
        } else if (key == u"Hidden") {
            entry.hidden = value == u"true";
        } else if (key == u"Name" && nameRank > suffixes.size()) {
            entry.name = unescaped(value);
            nameRank = suffixes.size();
        } else if (key.startsWith(u"Name[") && key.endsWith(u']')) {
            const qsizetype rank = suffixes.indexOf(key.mid(5, key.size() - 6));
            if (rank >= 0 && rank < nameRank) {
                entry.name = unescaped(value);
                nameRank = rank;
            }
        }
    }
    return entry;
}

// Every entry's name by its StartupWMClass and by its file's name, both in small letters, as of
// the folders' and the locale's state when it was read.
struct Index {
    QStringList folders;
    QList<QDateTime> folderTimes;
    QString locale;
    QHash<QString, QString> byWmClass;
    QHash<QString, QString> byFileName;
};

QList<QDateTime> modificationTimes(const QStringList& folders) {
    QList<QDateTime> times;
    for (const QString& folder : folders)
        times << QFileInfo(folder).lastModified();
    return times;
}

Index readIndex(const QStringList& folders, const QString& locale) {
    Index index{folders, modificationTimes(folders), locale, {}, {}};
    const QStringList suffixes = localeSuffixes(locale);
    // An entry's identity is its path under the folder, with a dash for each slash.
    QSet<QString> seen;
    for (const QString& folder : folders) {
        QStringList paths;
        QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                           QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (files.hasNext())
            paths << files.next();
        // Sorted, so that of two entries claiming one class the same one wins every time.
        paths.sort();
        for (const QString& path : paths) {
            QString id = QDir(folder).relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(u'/', u'-');
            if (seen.contains(id))
                continue;
            seen.insert(id);
            const Entry entry = read(path, suffixes);
            if (entry.hidden || entry.name.isEmpty())
                continue;
            index.byFileName.insert(id.toLower(), entry.name);
            if (!entry.wmClass.isEmpty() && !index.byWmClass.contains(entry.wmClass.toLower()))
                index.byWmClass.insert(entry.wmClass.toLower(), entry.name);
        }
    }
    return index;
}

} // namespace

QString DesktopEntries::applicationName(const QString& windowClass) {
    static std::optional<Index> index;
    const QStringList folders =
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    const QString locale = Language::messagesLocale();
    if (!index || index->folders != folders || index->locale != locale ||
        index->folderTimes != modificationTimes(folders))
        index = readIndex(folders, locale);
    if (windowClass.isEmpty())
        return {};
    const QString key = windowClass.toLower();
    return index->byWmClass.value(key, index->byFileName.value(key));
}
