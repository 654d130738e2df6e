#include "app/PrintFolder.h"

#include "app/MyObject.h"
#include "platform/Alert.h"
#include "platform/Defaults.h"
#include "platform/MemoryPasteboard.h"
#include "window/PasteWindow.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QJsonObject describe(const PasteSet& set, const PasteData& data) {
    QJsonObject object;
    object.insert(QStringLiteral("set"), set.name());
    object.insert(QStringLiteral("number"), data.number());
    object.insert(QStringLiteral("extraType"), data.extraType());
    object.insert(QStringLiteral("contents"),
                  data.contents() ? QJsonValue(*data.contents()) : QJsonValue(QJsonValue::Null));
    const auto& payload = data.extraData();
    object.insert(QStringLiteral("extraDataSize"),
                  payload ? QJsonValue(qint64(payload->size())) : QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("extraDataSha256"),
                  payload
                      ? QJsonValue(QString::fromLatin1(
                            QCryptographicHash::hash(*payload, QCryptographicHash::Sha256).toHex()))
                      : QJsonValue(QJsonValue::Null));
    return object;
}

} // namespace

QByteArray describeSet(const PasteSet& set) {
    QByteArray lines;
    for (const auto& data : set.pasteData())
        lines += QJsonDocument(describe(set, *data)).toJson(QJsonDocument::Compact) + '\n';
    return lines;
}

int printFolder(const QString& directory) {
    Alert::setResponder([](const Alert::Request& request) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(request.title), qPrintable(request.message));
        return Alert::DefaultReturn;
    });
    // The window is set up with the default settings, not the user's, so that nothing but the
    // given folder is loaded.
    QTemporaryDir settingsFolder;
    MyObject settings(
        std::make_unique<Defaults>(settingsFolder.filePath(QStringLiteral("Kelvrin.ini"))),
        std::make_unique<MemoryPasteboard>());
    settings.LoadUserSettings();
    PasteWindow window;
    window.initWindow(&settings);
    window.getWindow();
    if (!window.loadData(true, directory))
        return 1;
    for (const auto& set : window.pasteArray()) {
        const QByteArray lines = describeSet(*set);
        std::fwrite(lines.constData(), 1, size_t(lines.size()), stdout);
    }
    return 0;
}
