#pragma once

#include <QString>

// The language Kelvrin speaks to the user, chosen from the locale the way POSIX programs choose
// the language of their messages. English unless the locale names a language Kelvrin has been
// translated into.
namespace Language {

inline const QString kEnglish = QStringLiteral("en");

// The language of a locale name such as "de_AT.UTF-8@euro", "de" or "C": its code when Kelvrin
// speaks it ("de"), English otherwise.
QString ofLocaleName(const QString& localeName);

// The locale of the messages, "de_AT.UTF-8@euro": the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty; empty when none is.
QString messagesLocale();

// The language of the messages' locale.
QString fromEnvironment();

} // namespace Language
