#pragma once

#include "model/IndexSet.h"
#include "model/PasteData.h"

#include <QString>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

using PasteDataList = std::vector<std::unique_ptr<PasteData>>;

// A named, ordered list of clippings, kept numbered 1 to n by every operation that moves them.
// Clippings are compared by identity, never by content.
class PasteSet {
public:
    static constexpr qint64 NotFound = std::numeric_limits<qint64>::max();

    // A set with that name and no clippings; null when the name is absent.
    static std::unique_ptr<PasteSet> init(const std::optional<QString>& name);
    explicit PasteSet(const QString& name);

    const QString& name() const { return _name; }
    void setName(const QString& name);

    // Changes with every change of the set and is never the same for two sets or for two states
    // of one set, so a set can be told to have changed since it was last saved.
    quint64 revision() const { return _revision; }

    const PasteDataList& pasteData() const { return _pasteData; }
    // Takes over a whole list (as read from a set file); the numbers stay as they are.
    void setPasteData(PasteDataList pasteData);

    // Null when the row is not below the count.
    PasteData* getDataAtIndex(quint64 row) const;
    qint64 getIndexOfObject(const PasteData* data) const;

    bool addData(const std::optional<QString>& text, qint32 extraType,
                 const std::optional<QByteArray>& extraData, qint32 posOfInsert, qint64 maxNumber);
    bool copyAddData(const PasteData& source);
    void removeData(const IndexSet& rows);
    void deleteData(qint64 maxNumber);
    void exchangeStackFront(qint64 row);
    void dropMoveing(const IndexSet& rows, qint32 toIndex);
    void reNumber();

    std::vector<PasteData*> indexTodata(const IndexSet& rows) const;
    IndexSet dataToindex(const std::vector<PasteData*>& datas) const;

private:
    void changed();

    QString _name;
    PasteDataList _pasteData;
    quint64 _revision = 0;
};
