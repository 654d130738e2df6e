#pragma once

#include "model/PasteSet.h"

#include <QByteArray>
#include <optional>

// A set's clippings as one archive, the root being the list itself.
QByteArray archivePasteData(const PasteDataList& pasteData);

// The clippings an archive holds; absent when it holds no object at all. Throws
// TypedStream::ArchiveError for a damaged archive, one whose root is not a list of clippings,
// or one written by a newer version of the clipping record.
std::optional<PasteDataList> unarchivePasteData(const QByteArray& archive);
