#include "Fixtures.h"
#include "ScopedEnvironment.h"

#include "platform/Language.h"
#include "platform/Strings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using Strings::format;

TEST(Formatter, AppliesEachConversionInOrderAndToleratesWhatItDoesNotKnow) {
    EXPECT_EQ(format("file[%@] errno[%d] size[%ld] count[%lu] u[%u] i[%i] 100%%",
                     {QStringLiteral("/tmp/ä"), 13, -5LL, 18446744073709551615ULL, 7u, -1}),
              "file[/tmp/ä] errno[13] size[-5] count[18446744073709551615] u[7] i[-1] 100%");
    EXPECT_EQ(format("save file[%s]\n", {QByteArray("/a/b")}), "save file[/a/b]\n");
    // The precision counts bytes; a cut inside a character yields a replacement character, never
    // stray bytes, and a NUL ends a C string.
    const QByteArray name = QStringLiteral("Éditeur").toUtf8();
    EXPECT_EQ(format(QStringLiteral("[%.*s]"), {3, name}), QStringLiteral("[Éd]"));
    EXPECT_EQ(format(QStringLiteral("[%.*s]"), {1, name}), QStringLiteral("[\uFFFD]"));
    EXPECT_EQ(format(QStringLiteral("[%.*s]"), {99, name}), QStringLiteral("[Éditeur]"));
    EXPECT_EQ(format(QStringLiteral("[%s]"), {QByteArray("ab\0cd", 5)}), QStringLiteral("[ab]"));
    EXPECT_EQ(format("a %@ b %d c", {QStringLiteral("x")}), "a x b  c");
    EXPECT_EQ(format(QStringLiteral("%q %"), {}), QStringLiteral("%q %"));
    EXPECT_EQ(format(QStringLiteral("%@"), {42}), QStringLiteral("42"));
}

TEST(Language, IsChosenFromTheMessagesLocaleAsPosixOrdersIt) {
    for (const char* german : {"de_DE.UTF-8", "de_AT", "de", "de_CH.utf8@euro", "de.", "DE_de"})
        EXPECT_EQ(Language::ofLocaleName(QString::fromLatin1(german)), u"de") << german;
    for (const char* other : {"C", "POSIX", "", "C.UTF-8", "en_US.UTF-8", "fr_FR", "deu", "d",
                              "_de", ".de", "@de", "de-DE", "\xff\xfe"})
        EXPECT_EQ(Language::ofLocaleName(QString::fromLatin1(other)), Language::kEnglish) << other;

    // LC_ALL over LC_MESSAGES over LANG; one set empty counts as not set.
    const auto chosen = [](const char* all, const char* messages, const char* lang) {
        const ScopedEnvironment locale{{"LC_ALL", all}, {"LC_MESSAGES", messages}, {"LANG", lang}};
        return Language::fromEnvironment();
    };
    EXPECT_EQ(chosen(nullptr, nullptr, nullptr), Language::kEnglish);
    EXPECT_EQ(chosen(nullptr, nullptr, "de_DE.UTF-8"), u"de");
    EXPECT_EQ(chosen("", "de_AT", "C"), u"de");
    EXPECT_EQ(chosen("C", "de_DE.UTF-8", "de_DE.UTF-8"), Language::kEnglish);
    EXPECT_EQ(chosen(nullptr, "POSIX", "de_DE.UTF-8"), Language::kEnglish);
}

// Every key of the message table is present, and each text takes exactly the arguments its
// callers pass, so no caller's argument is dropped or read from nowhere. German lacks nothing
// English has, with the same arguments in the same order.
TEST(MessageTable, HoldsEveryKeyInEnglishAndGermanWithItsArgumentsAndABrokenTranslationFallsBack) {
    const QStringList keys =
        QString::fromUtf8(fixture("messages/arguments.txt")).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GT(keys.size(), 40);
    for (const QString& entry : keys) {
        const QString key = entry.section(':', 0, 0);
        const QString text = Strings::localized(key);
        ASSERT_NE(text, key) << key.toStdString() << " is missing";
        QString kinds;
        for (const QString& c : Strings::conversions(text))
            kinds += c == u"%"          ? ""
                     : c == u"@"        ? "@"
                     : c.endsWith(u's') ? "s"
                     : c.endsWith(u'u') ? "u"
                                        : "d";
        EXPECT_EQ(kinds, entry.section(':', 1)) << key.toStdString() << ": " << text.toStdString();
    }

    Strings::setLanguage(QStringLiteral("de"));
    const QJsonObject english = QJsonDocument::fromJson(readFile(":/messages.json")).object();
    const QJsonObject german = QJsonDocument::fromJson(readFile(":/messages.de.json")).object();
    ASSERT_GT(english.size(), 40);
    EXPECT_EQ(german.keys(), english.keys());
    for (auto text = english.begin(); text != english.end(); ++text) {
        const QString translated = german.value(text.key()).toString();
        EXPECT_FALSE(translated.isEmpty()) << text.key().toStdString();
        EXPECT_EQ(Strings::conversions(translated), Strings::conversions(text.value().toString()))
            << text.key().toStdString() << ": " << translated.toStdString();
        EXPECT_EQ(Strings::localized(text.key()), translated) << text.key().toStdString();
    }
    Strings::setLanguage(Language::kEnglish);
    const QString file = QStringLiteral("MenuFile");
    EXPECT_EQ(Strings::localized(file), "&File");

    // A damaged translation costs only what is damaged in it: English stands in.
    Strings::setTranslation(fixturePath(QStringLiteral("translations/partial.json")));
    EXPECT_EQ(Strings::localized(file), QStringLiteral("&Datei"));
    EXPECT_EQ(Strings::localized(QStringLiteral("MenuEdit")), QStringLiteral("&Edit"));
    EXPECT_EQ(Strings::localizedFormat("SaveErrorMessage5", {"a", "b"}),
              "The set file a could not be written (b).");
    EXPECT_EQ(Strings::localizedFormat("PasteWindowTitleFront", {3, QByteArray("Editor")}),
              "Paste into Edi");
    EXPECT_EQ(Strings::localized(QStringLiteral("NotAKey")), QStringLiteral("NotAKey"));

    for (const char* broken : {"cut", "array", "binary", "missing"}) {
        SCOPED_TRACE(broken);
        Strings::setTranslation(fixturePath(QStringLiteral("translations/%1.json").arg(broken)));
        EXPECT_EQ(Strings::localized(file), QStringLiteral("&File"));
    }
    Strings::setLanguage(QStringLiteral("xx"));
    EXPECT_EQ(Strings::localized(file), QStringLiteral("&File"));
    Strings::setLanguage(Language::kEnglish);
}

// Every text of the windows (tr() in the code, the interface files) has a finished German
// translation, and every translation still has its text somewhere: lupdate, run over the sources
// into a copy of the .ts file, finds nothing new, nothing gone and nothing left to do.
TEST(Translations, EveryTextOfTheWindowsIsTranslatedAndStillInUse) {
    QTemporaryDir dir;
    const QString ts = dir.filePath(QStringLiteral("kelvrin_de.ts"));
    ASSERT_TRUE(QFile::copy(KELVRIN_SOURCE_DIR "/resources/translations/kelvrin_de.ts", ts));
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(KELVRIN_SOURCE_DIR));
    lupdate.start(QStringLiteral(KELVRIN_LUPDATE), {"app", "window", "resources", "-extensions",
                                                    "cpp,h,ui", "-locations", "none", "-ts", ts});
    ASSERT_TRUE(lupdate.waitForFinished(120000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();

    static const QRegularExpression message(
        QStringLiteral("<source>(.*?)</source>.*?<translation([^>]*)>(.*?)</translation>"),
        QRegularExpression::DotMatchesEverythingOption);
    QStringList faults;
    int translated = 0;
    for (const auto& match : message.globalMatch(QString::fromUtf8(readFile(ts)))) {
        if (!match.captured(2).isEmpty() || match.captured(3).isEmpty())
            faults << match.captured(1) + match.captured(2);
        else
            ++translated;
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join(u'\n').toStdString();
    EXPECT_GT(translated, 40);
}
