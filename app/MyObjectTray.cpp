// The application's icon, and the same icon in the desktop's system tray, or in its own place for
// it where it shows no tray: a click brings the paste window up, and its menu holds the menu bar's
// commands.
#include "app/MyObject.h"

#include "platform/Indicator.h"
#include "platform/Strings.h"

#include <QAction>
#include <QApplication>
#include <QIcon>

// The icon is compiled into the platform library's resources; linking them in must be asked for.
static void initIconResources() {
    Q_INIT_RESOURCE(resources);
}

void MyObject::makeStatusItem(const QList<QAction*>& items) {
    initIconResources();
    const QIcon icon(QStringLiteral(":/kelvrin.svg"));
    QApplication::setWindowIcon(icon);

    _statusMenu = std::make_unique<QMenu>();
    for (QAction* action : items) {
        if (action)
            _statusMenu->addAction(action);
        else
            _statusMenu->addSeparator();
    }
    connect(_statusMenu.get(), &QMenu::aboutToShow, this, &MyObject::validateMenuItems);

    if (showIndicator(items))
        return;
    _statusItem = std::make_unique<QSystemTrayIcon>(icon);
    _statusItem->setToolTip(Strings::localized(QStringLiteral("StatusItemToolTip")));
    _statusItem->setContextMenu(_statusMenu.get());
    connect(_statusItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    menuShowWindow();
            });
    // Shown whether or not the desktop has a tray now: Qt puts the icon into one that appears
    // later, and without any the application goes on as it would without the icon.
    _statusItem->show();
}

bool MyObject::showIndicator(const QList<QAction*>& items) {
    _indicatorItems = items;
    return describeIndicator();
}

bool MyObject::describeIndicator() {
    QList<Indicator::Item> described;
    for (const QAction* action : _indicatorItems)
        described.append(
            action ? Indicator::Item{action->objectName(), action->text(), action->isEnabled()}
                   : Indicator::Item{});
    // Chosen there as from the tray's menu, each command asked first whether it may run; each
    // opening of the menu shows what can run now.
    return Indicator::show(
        described,
        [this](const QString& name) {
            for (QAction* action : _indicatorItems)
                if (action && action->objectName() == name) {
                    validateMenuItems();
                    action->trigger();
                }
        },
        [this] {
            validateMenuItems();
            describeIndicator();
        });
}
