#include "window/PasteWin.h"

#include "ui_PasteWin.h"

PasteWin::PasteWin(QWidget* parent) : QWidget(parent), _ui(std::make_unique<Ui::PasteWin>()) {
    _ui->setupUi(this);
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

void PasteWin::setAlwaysOnTop(bool alwaysOnTop) {
    _desktop.setKeepAbove(alwaysOnTop);
}

void PasteWin::setVisible(bool visible) {
    if (visible && !isVisible())
        _desktop.prepareToShow();
    QWidget::setVisible(visible);
}
