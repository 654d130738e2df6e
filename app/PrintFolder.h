#pragma once

#include <QByteArray>
#include <QString>

class PasteSet;

// Prints the sets stored in a folder, one JSON object per clipping, without a display: the
// folder is loaded as the data folder is at launch, but its temporary files are left alone (they
// may be a running Kelvrin's save in flight), and any alert the load raises is written to
// standard error and answered with its default button.
// Answers the process's exit status: 0 when the folder loaded, 1 when it did not.
int printFolder(const QString& directory);

// The clippings of a set as printFolder prints them: one JSON object per line.
QByteArray describeSet(const PasteSet& set);
