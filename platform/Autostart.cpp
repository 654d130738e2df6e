#include "platform/Autostart.h"

#include "platform/AtomicFile.h"
#include "platform/BaseDirectories.h"
#include "platform/Strings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace Autostart {

namespace {

// An entry larger than this is none of ours and is not read through.
constexpr qint64 kMaxEntrySize = 64 * 1024;

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString entryPath() {
    return BaseDirectories::configHome() + QStringLiteral("/autostart/kelvrin.desktop");
}

bool isEnabled() {
    QFile entry(entryPath());
    if (!QFileInfo(entry).isFile())
        return false;
    // An entry the user switched off in the desktop's settings stays but is hidden.
    if (!entry.open(QIODevice::ReadOnly))
        return true;
    for (const QByteArray& line : entry.read(kMaxEntrySize).split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed == "Hidden=true" || trimmed == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

QString execValue(const QString& program) {
    // Inside double quotes the Exec key wants these four escaped by a backslash, and a
    // percent sign is a field code unless doubled.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c == u'%' ? QStringLiteral("%%") : QString(c);
    }
    quoted += u'"';
    // Then the value is a string of the file, with its own escapes.
    QString value;
    for (const QChar c : quoted) {
        switch (c.unicode()) {
        case '\\':
            value += QStringLiteral("\\\\");
            break;
        case '\n':
            value += QStringLiteral("\\n");
            break;
        case '\t':
            value += QStringLiteral("\\t");
            break;
        case '\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}

bool setEnabled(bool enabled, QString& erroString) {
    const QString path = entryPath();
    if (!enabled) {
        if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
            return true;
        erroString = Strings::localizedFormat(QStringLiteral("AutostartRemoveErrorMessage"),
                                              {path, errorText(errno)});
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(QFileInfo(path).path()).toStdString(),
                                        error);
    if (error) {
        erroString = Strings::localizedFormat(QStringLiteral("AutostartWriteErrorMessage"),
                                              {path, QString::fromLocal8Bit(error.message())});
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Kelvrin\n"
                                         "Comment=Clipboard history\n"
                                         "Exec=%1\n"
                                         "Icon=kelvrin\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(QCoreApplication::applicationFilePath()));
    if (!AtomicFile::writeFile(path, entry.toUtf8())) {
        erroString = Strings::localizedFormat(QStringLiteral("AutostartWriteErrorMessage"),
                                              {path, errorText(errno)});
        return false;
    }
    return true;
}

} // namespace Autostart
