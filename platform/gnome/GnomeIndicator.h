#pragma once

#include "platform/Indicator.h"

#include <memory>

class GnomeShell;

// Kelvrin's icon and menu in GNOME Shell's top bar, shown by Kelvrin's extension, since GNOME
// shows no system tray.
class GnomeIndicator : public Indicator::Backend {
public:
    explicit GnomeIndicator(std::shared_ptr<GnomeShell> shell);

    bool show(const QList<Indicator::Item>& items, std::function<void(const QString&)> chosen,
              std::function<void()> opened) override;

private:
    std::shared_ptr<GnomeShell> _shell;
};
