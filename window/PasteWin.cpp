#include "window/PasteWin.h"

#include "ui_PasteWin.h"
#include "window/PasteWindowDelegate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>

PasteWin::PasteWin(QWidget* parent) : QWidget(parent), _ui(std::make_unique<Ui::PasteWin>()) {
    _ui->setupUi(this);
    _ui->_filter->hide();
    _ui->dataFolderOffer->hide();
    connect(_ui->dataFolderKeep, &QPushButton::clicked, this,
            [this] { emit dataFolderOfferAnswered(true); });
    connect(_ui->dataFolderDecline, &QPushButton::clicked, this,
            [this] { emit dataFolderOfferAnswered(false); });
    _ui->_list->installEventFilter(this);
    _ui->_status->installEventFilter(this);
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

QLineEdit* PasteWin::filter() const {
    return _ui->_filter;
}

void PasteWin::openFilter() {
    _ui->_filter->show();
}

void PasteWin::typeIntoFilter(const QString& text) {
    openFilter();
    _ui->_filter->end(false);
    _ui->_filter->insert(text);
}

bool PasteWin::eraseFromFilter() {
    if (_ui->_filter->text().isEmpty())
        return false;
    _ui->_filter->end(false);
    _ui->_filter->backspace();
    return true;
}

bool PasteWin::isFilterOpen() const {
    return !_ui->_filter->isHidden();
}

bool PasteWin::closeFilter() {
    if (!isFilterOpen())
        return false;
    _ui->_filter->clear();
    _ui->_filter->hide();
    return true;
}

void PasteWin::offerDataFolder(const QString& folder) {
    // Named as the user knows it, with "~" for the home folder.
    const QString home = QDir::homePath() + u'/';
    const QString shown =
        folder.startsWith(home) ? QStringLiteral("~/") + folder.mid(home.size()) : folder;
    _ui->dataFolderOfferText->setText(
        tr("Keep the clipboard history between sessions in %1? The data folder can be changed "
           "in the preferences.")
            .arg(shown));
    _ui->dataFolderOffer->show();
}

void PasteWin::endDataFolderOffer() {
    _ui->dataFolderOffer->hide();
}

void PasteWin::setMenuBar(QMenuBar* menuBar) {
    layout()->setMenuBar(menuBar);
}

void PasteWin::setAlwaysOnTop(bool alwaysOnTop) {
    _desktop.setKeepAbove(alwaysOnTop);
}

void PasteWin::setVisible(bool visible) {
    const bool wasVisible = isVisible();
    if (visible && !wasVisible)
        _desktop.prepareToShow();
    QWidget::setVisible(visible);
    if (visible)
        return;
    // A filter serves one visit to the window.
    closeFilter();
    if (wasVisible)
        emit hidden();
}

bool PasteWin::eventFilter(QObject* watched, QEvent* event) {
    const bool box = watched == _ui->_list || watched == _ui->_status;
    if (box && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            _ui->_table->setFocus();
            QApplication::sendEvent(_ui->_table, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PasteWin::closeEvent(QCloseEvent* event) {
    if (_applicationIns)
        _applicationIns->frontmostSendPSN();
    event->accept();
}

void PasteWin::escapeKeyDown() {
    // Escape first closes the filter; then it goes back to where the user came from, without
    // pasting.
    if (closeFilter())
        return;
    if (_applicationIns->frontmostSendPSN() && _applicationIns->bHide() == 1)
        hide();
}
