#pragma once

#include "model/PasteSet.h"

#include <QByteArray>
#include <QList>
#include <functional>
#include <vector>

// Three versions of one set merged into one, as when two machines changed the same set since they
// last agreed on it (the base): what either side added is kept, what either side deleted stays
// deleted, a clipping either side moved goes where that side put it, and the result is the same
// whichever side merges.
namespace SetMerge {

// A clipping as the merge tells it apart: two clippings are the same when their text and payload
// are; a repeat within one set is told apart by how many came before it.
using Key = QByteArray;
using Keys = std::vector<Key>;

// The keys of the clippings, in their order.
Keys keysOf(const PasteDataList& clippings);
// What the key's clipping is known by whatever set holds it (PasteData::digest): the key without
// the count of repeats.
QByteArray digestOf(const Key& key);

// When a clipping was captured, in milliseconds since the epoch; 0 when nobody knows.
using CaptureTime = std::function<qint64(const Key&)>;

// The keys of the merged set, in its order, at most bound of them (the oldest go). Each version is
// newest first; an empty base (none known) keeps everything either side holds. Clippings placed
// at the same spot by both sides come newest first by capture time, then by key.
Keys merge(const Keys& base, const Keys& ours, const Keys& theirs, const CaptureTime& captured,
           qint64 bound);

// A version as the sync file names it: a digest of its keys in their order.
QByteArray hashOf(const Keys& keys);

// Of the versions of a set this machine wrote or read, oldest first, the newest that another
// machine had written or read too when it wrote its version (seen: their hashes, as its writer
// told): what that version grew from, and what both sides last agreed on. Empty when it saw none
// of them.
Keys lastSeen(const std::vector<Keys>& versions, const QList<QByteArray>& seen);

// For a version whose writer did not tell what it had seen (an older Kelvrin, a copy by hand): of
// the versions of a set this machine wrote or read, oldest first, the one another machine's
// version most likely grew from: the newest whose new clippings (those its predecessor lacked)
// theirs holds any of. A version that added nothing tells nothing, and an older one is taken. A
// base taken too new would count what was added here since as deleted there, and lose it; one
// taken too old may bring back what was deleted there. Empty when there are no versions.
Keys likelyBaseOf(const std::vector<Keys>& versions, const Keys& theirs);

} // namespace SetMerge
