#pragma once

#include <QString>

// The user's folders of the XDG base directories: the variable's folder when it names an
// absolute path, else the default under the home folder (a relative path is to be ignored).
namespace BaseDirectories {

// $XDG_CONFIG_HOME, else ~/.config.
QString configHome();
// $XDG_DATA_HOME, else ~/.local/share.
QString dataHome();

} // namespace BaseDirectories
