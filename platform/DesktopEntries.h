#pragma once

#include <QString>

// What the desktop calls the installed programs: the names their desktop entries (the
// freedesktop.org .desktop files) give them in menus and task bars, in the user's language. Entries
// are read from $XDG_DATA_HOME/applications and each $XDG_DATA_DIRS/applications, the first folder
// deciding for an entry several of them hold.
namespace DesktopEntries {

// The Name of the program whose windows carry this WM_CLASS class: the entry whose
// StartupWMClass is the class, else the entry whose file is named after it, either compared
// without regard to case; localized for the messages' locale. Empty when no entry matches.
// The entries are read at the first call and again only once one of their folders or the
// locale has changed, so a call costs a few file status checks.
QString applicationName(const QString& windowClass);

} // namespace DesktopEntries
