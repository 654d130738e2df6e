// Start-up: the data folder offered to a new user, and what the launch takes as copied before it.
#include "WidgetFixtures.h"

#include <QLabel>

using namespace std::chrono_literals;

class Launch : public AppFixture {
protected:
    // $XDG_DATA_HOME/kelvrin, under the fixture's own data home.
    QString offeredFolder() const { return scratch("share/kelvrin"); }

    bool offerShown() {
        const QWidget* offer = window().getWindow()->findChild<QWidget*>("dataFolderOffer");
        return offer && offer->isVisibleTo(window().getWindow());
    }
    QString offerText() {
        const QLabel* text = window().getWindow()->findChild<QLabel*>("dataFolderOfferText");
        return text ? text->text() : QString();
    }
    void answer(const char* button) {
        QPushButton* pressed = window().getWindow()->findChild<QPushButton*>(button);
        ASSERT_TRUE(pressed) << button;
        QTest::mouseClick(pressed, Qt::LeftButton);
    }
    // What the settings file holds now, as the next launch would read it.
    std::optional<QString> storedFolder() const {
        return Defaults(settingsPath()).stringForKey(QStringLiteral("initial_directory"));
    }
};

TEST_F(Launch, ANewUserIsOfferedADataFolderAndKeepingTheHistoryThereIsStoredAtOnce) {
    launch();
    ASSERT_TRUE(offerShown()) << "a new user is not offered a data folder";
    EXPECT_TRUE(offerText().contains(offeredFolder())) << offerText().toStdString();
    // The offer holds back neither the captures nor the keys of the table.
    captureEach({"before the answer"});
    EXPECT_EQ(texts(history()), QStringList{"before the answer"});
    ASSERT_TRUE(QTest::qWaitForWindowActive(window().getWindow()));
    EXPECT_EQ(QApplication::focusWidget(), window().table());

    {
        // The data home cannot hold a folder: the user is told, and the offer stands.
        SetFolder::write(scratch("a file"), {});
        const ScopedEnvironment unusable{{"XDG_DATA_HOME", scratch("a file").toUtf8().constData()}};
        ScriptedAlerts alerts;
        answer("dataFolderKeep");
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].message,
                  Strings::localizedFormat("SaveErrorMessage4", {scratch("a file/kelvrin")}));
        EXPECT_TRUE(offerShown());
        EXPECT_EQ(QApplication::focusWidget(), window().table()) << "a click took the keys";
        EXPECT_EQ(app().nssInitialFolder(), QString());
        EXPECT_EQ(storedFolder(), std::nullopt);
    }

    answer("dataFolderKeep");
    EXPECT_FALSE(offerShown());
    EXPECT_EQ(app().nssInitialFolder(), offeredFolder());
    EXPECT_EQ(QFile::permissions(offeredFolder()) & 0x0077, 0) << "a folder open to others";
    EXPECT_EQ(storedFolder(), offeredFolder()) << "the answer waits for the quit to be stored";
    // What was captured before the answer goes there with the next autosave.
    const auto now = PasteWindow::Clock::now();
    window().autosaveCheck(app().nssInitialFolder(), now);
    window().autosaveCheck(app().nssInitialFolder(), now + 3s);
    window().finishAutosave();
    EXPECT_EQ(texts(unarchivePasteData(readFile(offeredFolder() + "/PasteBoard History.KVdata"))
                        .value_or(PasteDataList())),
              QStringList{"before the answer"});

    // A crash before the quit: the next launch keeps the history there and offers nothing.
    launchAgain();
    EXPECT_FALSE(offerShown());
    EXPECT_EQ(app().nssInitialFolder(), offeredFolder());
    EXPECT_EQ(texts(history()), QStringList{"before the answer"});
}

TEST_F(Launch, TheOfferStandsUntilAnsweredDecliningIsRememberedAndOlderSettingsGetNone) {
    launch();
    ASSERT_TRUE(offerShown());
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    {
        // A data home given as a relative path is none; the folder is named as the user knows it.
        const ScopedEnvironment relative{{"XDG_DATA_HOME", "share"}};
        launchAgain();
        EXPECT_TRUE(offerShown()) << "an offer the user never answered is not made again";
        EXPECT_TRUE(offerText().contains(QStringLiteral(" ~/.local/share/kelvrin?")))
            << offerText().toStdString();
    }

    answer("dataFolderDecline");
    EXPECT_FALSE(offerShown());
    EXPECT_EQ(app().nssInitialFolder(), QString());
    EXPECT_FALSE(QFileInfo::exists(offeredFolder()));
    launchAgain();
    EXPECT_FALSE(offerShown()) << "declining was forgotten by a crash";
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    launchAgain();
    EXPECT_FALSE(offerShown()) << "declining was forgotten by a quit";

    // Settings stored before there was an offer: an empty data folder there was the user's
    // choice.
    QFile::remove(settingsPath());
    launchAgain({{"paste_limits", 7}});
    EXPECT_FALSE(offerShown());
}

TEST_F(Launch, ACopyMadeWhileAnAlertAboutTheSetsIsUpIsCapturedAfterIt) {
    // Set files without their list: the launch tells the user, who answers after a while.
    const QString data = scratch("data");
    QDir().mkpath(data);
    SetFolder::writeSet(data, QStringLiteral("Work"), {});
    copyText(QStringLiteral("copied before the launch"));
    {
        ScriptedAlerts alerts({}, [&] { copyText(QStringLiteral("copied while it is up")); });
        launch({{"initial_directory", data}});
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].message,
                  Strings::localizedFormat("LoadErrorMessage7", {data}));
    }
    tick();
    EXPECT_EQ(texts(history()), QStringList{"copied while it is up"});
}
