#include "window/PasteWin.h"

#include "ui_PasteWin.h"
#include "window/PasteWindowDelegate.h"

#include <QLayout>
#include <QMenuBar>
#include <QShortcut>

PasteWin::PasteWin(QWidget* parent) : QWidget(parent), _ui(std::make_unique<Ui::PasteWin>()) {
    _ui->setupUi(this);
    // Whichever control has the focus, Escape is the window's.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &PasteWin::escapeKeyDown);
}

PasteWin::~PasteWin() = default;

void PasteWin::initWindow(PasteWindowDelegate* applicationIns) {
    _applicationIns = applicationIns;
}

QComboBox* PasteWin::list() const {
    return _ui->_list;
}

QComboBox* PasteWin::status() const {
    return _ui->_status;
}

PasteView* PasteWin::table() const {
    return _ui->_table;
}

void PasteWin::setMenuBar(QMenuBar* menuBar) {
    layout()->setMenuBar(menuBar);
}

void PasteWin::setAlwaysOnTop(bool alwaysOnTop) {
    _desktop.setKeepAbove(alwaysOnTop);
}

void PasteWin::setVisible(bool visible) {
    if (visible && !isVisible())
        _desktop.prepareToShow();
    QWidget::setVisible(visible);
}

void PasteWin::escapeKeyDown() {
    // Escape goes back to where the user came from, without pasting.
    if (_applicationIns->frontmostSendPSN() && _applicationIns->bHide() == 1)
        hide();
}
