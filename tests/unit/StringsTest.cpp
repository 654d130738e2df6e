#include "platform/Strings.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using Strings::format;

TEST(Formatter, AppliesEachConversionInOrder) {
    EXPECT_EQ(format(QStringLiteral("file[%@] errno[%d] size[%ld] count[%lu] u[%u] i[%i] 100%%"),
                     {QStringLiteral("/tmp/ä"), 13, -5LL, 18446744073709551615ULL, 7u, -1}),
              QStringLiteral("file[/tmp/ä] errno[13] size[-5] count[18446744073709551615] u[7] "
                             "i[-1] 100%"));
    EXPECT_EQ(format(QStringLiteral("save file[%s]\n"), {QByteArray("/a/b")}),
              QStringLiteral("save file[/a/b]\n"));
}

TEST(Formatter, PrecisionCutsBytesAndNulEndsCString) {
    const QByteArray name = QStringLiteral("Éditeur").toUtf8(); // É is two bytes
    EXPECT_EQ(format(QStringLiteral("[%.*s]"), {3, name}), QStringLiteral("[Éd]"));
    // Cutting inside a character yields a replacement character, never stray bytes.
    EXPECT_EQ(format(QStringLiteral("[%.*s]"), {1, name}), QStringLiteral("[\uFFFD]"));
    EXPECT_EQ(format(QStringLiteral("[%.*s]"), {99, name}), QStringLiteral("[Éditeur]"));
    EXPECT_EQ(format(QStringLiteral("[%s]"), {QByteArray("ab\0cd", 5)}), QStringLiteral("[ab]"));
}

TEST(Formatter, ToleratesMissingArgumentsAndUnknownConversions) {
    EXPECT_EQ(format(QStringLiteral("a %@ b %d c"), {QStringLiteral("x")}),
              QStringLiteral("a x b  c"));
    EXPECT_EQ(format(QStringLiteral("%q %"), {}), QStringLiteral("%q %"));
    EXPECT_EQ(format(QStringLiteral("%@"), {42}), QStringLiteral("42"));
}

// Every key of the message table is present, and each text takes exactly the arguments its
// callers pass, so no caller's argument is dropped or read from nowhere.
TEST(MessageTable, HoldsEveryKeyWithItsArguments) {
    // A key, then after a colon what its callers pass: @ text, d and u numbers, s bytes.
    const QStringList keys =
        QStringLiteral(
            "LoadErrorTitle LoadErrorButton1 LoadErrorButton2 SaveWarningTitle SaveWarningButton1 "
            "SaveWarningButton2 TerminateSaveErrorTitle TerminateSaveErrorButton1 "
            "TerminateSaveErrorButton2 SaveSetErrorTitle AddDataTitle AddSetTitle PasteTitle "
            "DeleteDataTitle DeleteDataButtion1 DeleteDataButtion2 SaveSetTitle LoadSetTitle "
            "PreferencesFolderTitle PasteWindowTitleBack LoadErrorMessage1:@d SaveErrorMessage1:@d "
            "LoadErrorMessage2:d LoadErrorMessage3:dd LoadErrorMessage4:ud LoadErrorMessage5:@ "
            "LoadErrorMessage8:@ LoadErrorMessage6:@d LoadErrorMessage7:@ SaveErrorMessage4:@ "
            "SaveWarningMessage PasteMessage DeleteDataMessage SaveErrorMessage2:@d "
            "SaveErrorMessage3:@d SaveErrorMessage5:@@ TerminateSaveErrorMessage:@ "
            "SaveSetErrorMessage:@ AddDataMessage2:ud AddSetMessage1:ud AddSetMessage2:ud "
            "PictureMessage:dd PasteWindowTitleFront:s")
            .split(' ');
    static const QRegularExpression conversion(QStringLiteral("%(%|@|ld|lu|d|i|u|\\.\\*s|s)"));
    for (const QString& entry : keys) {
        const QString key = entry.section(':', 0, 0);
        const QString text = Strings::localized(key);
        ASSERT_NE(text, key) << key.toStdString() << " is missing";
        QString kinds;
        for (const auto& match : conversion.globalMatch(text)) {
            const QString c = match.captured(1);
            kinds += c == u"%"          ? ""
                     : c == u"@"        ? "@"
                     : c.endsWith(u's') ? "s"
                     : c.endsWith(u'u') ? "u"
                                        : "d";
        }
        EXPECT_EQ(kinds, entry.section(':', 1)) << key.toStdString() << ": " << text.toStdString();
    }
    EXPECT_EQ(Strings::localized(QStringLiteral("NoSuchKey")), QStringLiteral("NoSuchKey"));
}
