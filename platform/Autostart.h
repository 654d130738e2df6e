#pragma once

#include <QString>

// Starting Kelvrin when the user logs in: an entry of the desktop's autostart folder,
// $XDG_CONFIG_HOME/autostart/kelvrin.desktop (~/.config/autostart when the variable is unset or
// not an absolute path), that runs the program now running.
namespace Autostart {

QString entryPath();

// Whether the entry is there and not hidden, as the desktop reads it at login.
bool isEnabled();

// Writes the entry, replacing it whole, or removes it. False when that could not be done, with
// what went wrong in erroString.
bool setEnabled(bool enabled, QString& erroString);

// The program's path as the Exec key holds it: quoted, so that spaces and the characters a
// shell would read stay part of the path, and escaped as the file's string values are.
QString execValue(const QString& program);

} // namespace Autostart
