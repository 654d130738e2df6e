#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

// The desktop's own place for Kelvrin's icon and menu where it shows no system tray (GNOME Shell,
// through Kelvrin's extension). The session installs the desktop's backend; without one, the
// system tray icon is all there is.
namespace Indicator {

// A menu item: the name it is chosen by, what the user reads, and whether it can be chosen now;
// a separator has no name nor text.
struct Item {
    QString name;
    QString text;
    bool enabled = true;
};

// Shows the icon with the menu, in place of the one shown before; chosen hears the name of each
// item the user chooses, and opened each time the user opens the menu (the items shown again
// then say what can be chosen now). False when the desktop has no such place.
bool show(const QList<Item>& items, std::function<void(const QString& name)> chosen,
          std::function<void()> opened);

// What a desktop does for show. This one has no place.
class Backend {
public:
    virtual ~Backend() = default;
    virtual bool show(const QList<Item>&, std::function<void(const QString&)>,
                      std::function<void()>) {
        return false;
    }
};

// Puts the desktop's backend in place of the one before; null goes back to the one without a
// place. Only the session chooses.
void installBackend(std::unique_ptr<Backend> backend);

} // namespace Indicator
