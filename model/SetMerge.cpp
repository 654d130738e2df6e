#include "model/SetMerge.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace {

using SetMerge::Key;
using SetMerge::Keys;

QSet<Key> setOf(const Keys& keys) {
    return QSet<Key>(keys.begin(), keys.end());
}

Keys only(const Keys& keys, const std::function<bool(const Key&)>& wanted) {
    Keys kept;
    std::ranges::copy_if(keys, std::back_inserter(kept), wanted);
    return kept;
}

// Those of the side's keys that stay where the base had them: the longest run of them in the
// base's order. The others were moved. Both hold the same keys.
QSet<Key> unmoved(const Keys& base, const Keys& side) {
    QHash<Key, qsizetype> inBase;
    for (qsizetype i = 0; i < qsizetype(base.size()); ++i)
        inBase.insert(base[i], i);
    // The longest increasing run of base places, found by patience sorting: ends[l] is the side's
    // index ending the best run of length l + 1 found so far.
    std::vector<qsizetype> ends, before(side.size(), -1);
    for (qsizetype i = 0; i < qsizetype(side.size()); ++i) {
        const qsizetype place = inBase.value(side[i]);
        const auto at = std::ranges::lower_bound(
            ends, place, {}, [&](qsizetype end) { return inBase.value(side[end]); });
        if (at != ends.begin())
            before[i] = *(at - 1);
        if (at == ends.end())
            ends.push_back(i);
        else
            *at = i;
    }
    QSet<Key> run;
    for (qsizetype i = ends.empty() ? -1 : ends.back(); i >= 0; i = before[i])
        run.insert(side[i]);
    return run;
}

// The clippings one side put somewhere of its own (added, or moved away from the base's order),
// each in its side's order with the index of the spot before which it goes in the skeleton: the
// first unmoved clipping that follows it on that side.
struct Placed {
    Key key;
    qsizetype spot;
};

std::vector<Placed> placedBy(const Keys& side, const QSet<Key>& kept,
                             const QHash<Key, qsizetype>& inSkeleton, qsizetype skeletonSize) {
    std::vector<Placed> placed;
    qsizetype next = skeletonSize;
    for (auto key = side.rbegin(); key != side.rend(); ++key) {
        if (const auto at = inSkeleton.constFind(*key); at != inSkeleton.cend())
            next = *at;
        else if (kept.contains(*key))
            placed.push_back({*key, next});
    }
    std::ranges::reverse(placed);
    return placed;
}

} // namespace

QByteArray SetMerge::digestOf(const Key& key) {
    return key.left(key.indexOf('#'));
}

SetMerge::Keys SetMerge::keysOf(const PasteDataList& clippings) {
    Keys keys(clippings.size());
    // Repeats are counted from the oldest, which a new capture at the head does not renumber.
    QHash<QByteArray, int> seen;
    for (size_t i = clippings.size(); i-- > 0;) {
        const QByteArray& digest = clippings[i]->digest();
        keys[i] = digest + '#' + QByteArray::number(seen[digest]++);
    }
    return keys;
}

SetMerge::Keys SetMerge::merge(const Keys& base, const Keys& ours, const Keys& theirs,
                               const CaptureTime& captured, qint64 bound) {
    const QSet<Key> inBase = setOf(base), inOurs = setOf(ours), inTheirs = setOf(theirs);
    // Kept: on both sides, or added on one (the other cannot have deleted it).
    QSet<Key> kept;
    for (const QSet<Key>* side : {&inOurs, &inTheirs})
        for (const Key& key : *side)
            if ((inOurs.contains(key) && inTheirs.contains(key)) || !inBase.contains(key))
                kept.insert(key);
    // What the base and both sides hold, and of it what neither side moved: the skeleton the
    // rest is placed around.
    const auto everywhere = [&](const Key& key) {
        return inBase.contains(key) && inOurs.contains(key) && inTheirs.contains(key);
    };
    const Keys sharedBase = only(base, everywhere);
    const QSet<Key> stillOurs = unmoved(sharedBase, only(ours, everywhere));
    const QSet<Key> stillTheirs = unmoved(sharedBase, only(theirs, everywhere));
    const Keys skeleton = only(sharedBase, [&](const Key& key) {
        return stillOurs.contains(key) && stillTheirs.contains(key);
    });
    QHash<Key, qsizetype> inSkeleton;
    for (qsizetype i = 0; i < qsizetype(skeleton.size()); ++i)
        inSkeleton.insert(skeleton[i], i);
    const qsizetype end = qsizetype(skeleton.size());
    const std::vector<Placed> byOurs = placedBy(ours, kept, inSkeleton, end);
    const std::vector<Placed> byTheirs = placedBy(theirs, kept, inSkeleton, end);
    // A clipping both sides placed goes to the spot nearer the front.
    QHash<Key, qsizetype> spot;
    for (const std::vector<Placed>* side : {&byOurs, &byTheirs})
        for (const Placed& placed : *side)
            if (const auto at = spot.find(placed.key); at == spot.end() || placed.spot < *at)
                spot.insert(placed.key, placed.spot);
    // Before each spot, the two sides' clippings in their own orders, the newer head first.
    const auto newer = [&](const Key& a, const Key& b) {
        const qint64 timeA = captured(a), timeB = captured(b);
        return timeA != timeB ? timeA > timeB : a < b;
    };
    Keys merged;
    QSet<Key> taken;
    auto ourNext = byOurs.begin(), theirNext = byTheirs.begin();
    const auto skipTaken = [&](auto& next, const auto& last) {
        while (next != last && taken.contains(next->key))
            ++next;
    };
    for (qsizetype at = 0; at <= end; ++at) {
        for (;;) {
            skipTaken(ourNext, byOurs.end());
            skipTaken(theirNext, byTheirs.end());
            const bool ourHere = ourNext != byOurs.end() && spot.value(ourNext->key) == at;
            const bool theirHere = theirNext != byTheirs.end() && spot.value(theirNext->key) == at;
            if (!ourHere && !theirHere)
                break;
            auto& next = !theirHere || (ourHere && newer(ourNext->key, theirNext->key)) ? ourNext
                                                                                        : theirNext;
            merged.push_back(next->key);
            taken.insert(next->key);
            ++next;
        }
        if (at < end)
            merged.push_back(skeleton[at]);
    }
    if (bound >= 0 && qint64(merged.size()) > bound)
        merged.resize(size_t(bound));
    return merged;
}

QByteArray SetMerge::hashOf(const Keys& keys) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const Key& key : keys) {
        hash.addData(key);
        hash.addData(QByteArrayView("\n"));
    }
    return hash.result().left(8).toHex();
}

SetMerge::Keys SetMerge::lastSeen(const std::vector<Keys>& versions,
                                  const QList<QByteArray>& seen) {
    const QSet<QByteArray> hashes(seen.begin(), seen.end());
    const auto found = std::find_if(versions.rbegin(), versions.rend(), [&](const Keys& keys) {
        return hashes.contains(hashOf(keys));
    });
    return found == versions.rend() ? Keys() : *found;
}

SetMerge::Keys SetMerge::likelyBaseOf(const std::vector<Keys>& versions, const Keys& theirs) {
    if (versions.empty())
        return {};
    const QSet<Key> inTheirs = setOf(theirs);
    for (size_t i = versions.size(); i-- > 1;) {
        const QSet<Key> before = setOf(versions[i - 1]);
        const bool seen = std::ranges::any_of(versions[i], [&](const Key& key) {
            return !before.contains(key) && inTheirs.contains(key);
        });
        if (seen)
            return versions[i];
    }
    return versions.front();
}
