#include "platform/gnome/GnomeIndicator.h"

#include "platform/gnome/GnomeShell.h"

GnomeIndicator::GnomeIndicator(std::shared_ptr<GnomeShell> shell) : _shell(std::move(shell)) {}

bool GnomeIndicator::show(const QList<Indicator::Item>& items,
                          std::function<void(const QString&)> chosen,
                          std::function<void()> opened) {
    return _shell->showIndicator(items, std::move(chosen), std::move(opened));
}
