#pragma once

#include "platform/Pasteboard.h"

#include <QObject>

class QMimeData;

// The X11 CLIPBOARD selection through QClipboard. The change count follows Qt's change
// notices and advances at once on Kelvrin's own writes. Reading blocks for at most Qt's own
// transfer timeout when the owner does not answer.
class ClipboardPasteboard : public QObject, public Pasteboard {
    Q_OBJECT
public:
    explicit ClipboardPasteboard(QObject* parent = nullptr);

    qint64 changeCount() const override { return _count; }

protected:
    QStringList offeredNames() override;
    std::optional<QByteArray> readName(const QString& name) override;
    std::optional<QString> readText(const QString& name) override;
    void writeNames(const QList<std::pair<QString, QByteArray>>& named) override;

private:
    const QMimeData* content() const;

    qint64 _count = 0;
    bool _writing = false;
};
