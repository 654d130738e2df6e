#include "platform/Language.h"

#include <QRegularExpression>
#include <QtGlobal>

namespace Language {

namespace {

// Those with a message table and a translation of the windows in resources/.
const QString kTranslated[] = {QStringLiteral("de")};

} // namespace

QString ofLocaleName(const QString& localeName) {
    // language[_territory][.codeset][@modifier]
    static const QRegularExpression afterLanguage(QStringLiteral("[_.@]"));
    const qsizetype end = localeName.indexOf(afterLanguage);
    const QString language = localeName.left(end).toLower();
    for (const QString& translated : kTranslated)
        if (language == translated)
            return translated;
    return kEnglish;
}

QString messagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

QString fromEnvironment() {
    return ofLocaleName(messagesLocale());
}

} // namespace Language
