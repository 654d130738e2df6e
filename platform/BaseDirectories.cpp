#include "platform/BaseDirectories.h"

#include <QDir>

namespace BaseDirectories {

namespace {

QString folder(const char* variable, const QString& inHome) {
    const QString named = qEnvironmentVariable(variable);
    if (!named.isEmpty() && QDir::isAbsolutePath(named))
        return named;
    return QDir::homePath() + inHome;
}

} // namespace

QString configHome() {
    return folder("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString dataHome() {
    return folder("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

} // namespace BaseDirectories
