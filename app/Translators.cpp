#include "app/Translators.h"

#include "platform/Language.h"
#include "platform/Strings.h"

#include <QCoreApplication>
#include <QLibraryInfo>

Translators::Translators() {
    const QString language = Language::fromEnvironment();
    Strings::setLanguage(language);
    if (language == Language::kEnglish)
        return;
    install(QStringLiteral("kelvrin_") + language, QStringLiteral(":/i18n"));
    install(QStringLiteral("qtbase_") + language,
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

Translators::~Translators() {
    for (const auto& translator : _installed)
        QCoreApplication::removeTranslator(translator.get());
    Strings::setLanguage(Language::kEnglish);
}

void Translators::install(const QString& name, const QString& folder) {
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(name, folder) && QCoreApplication::installTranslator(translator.get()))
        _installed.push_back(std::move(translator));
}
