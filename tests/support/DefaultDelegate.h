#pragma once

#include "window/PasteWindowDelegate.h"

// The application as the paste window sees it, with the default settings and no data folder,
// for programs that drive the window without the application: tests and benchmarks.
// Its paste callback delivers nothing, and there is no application to go back to.
class DefaultDelegate : public PasteWindowDelegate {
public:
    QString nssInitialFolder() const override { return {}; }
    qint64 iLimits() const override { return 100; }
    const QRectF* ptrRectPasteWindow() const override { return &_frame; }
    qint64 iPasteMode() const override { return 0; }
    signed char bHide() const override { return 1; }
    signed char bAlwaysOnTop() const override { return 0; }
    float fTransparency() const override { return 1.0f; }
    float fHeightOfRow() const override { return 16.0f; }
    signed char bRecentlyTop() const override { return 0; }
    bool doPasteCommand(const PasteData&) override { return false; }
    bool frontmostSendPSN() override { return false; }

private:
    QRectF _frame{100, 100, 325, 285};
};
