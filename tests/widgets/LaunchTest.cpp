// Start-up: what the launch takes as copied before it.
#include "WidgetFixtures.h"

using Launch = AppFixture;

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
