#pragma once

#include <QRectF>
#include <QString>
#include <QtGlobal>

class PasteData;

// What the paste window asks of the application: the settings it applies, the paste callback
// and the way back to the application the user came from. The application implements it; the
// window side never sees the application itself.
class PasteWindowDelegate {
public:
    virtual ~PasteWindowDelegate() = default;

    virtual QString nssInitialFolder() const = 0;
    virtual qint64 iLimits() const = 0;
    virtual const QRectF* ptrRectPasteWindow() const = 0;
    virtual qint64 iPasteMode() const = 0;
    virtual signed char bHide() const = 0;
    virtual signed char bAlwaysOnTop() const = 0;
    virtual float fTransparency() const = 0;
    virtual float fHeightOfRow() const = 0;
    virtual signed char bRecentlyTop() const = 0;

    // Puts the clipping on the clipboard and delivers it to the application the user came
    // from; true when it was delivered.
    virtual bool doPasteCommand(const PasteData& data) = 0;
    // Brings the application the user came from back to the front and forgets it; false when
    // none is remembered or it could not be brought back.
    virtual bool frontmostSendPSN() = 0;
};
