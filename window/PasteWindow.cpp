#include "window/PasteWindow.h"

#include "model/ExtraType.h"
#include "window/ImageAndTextCell.h"
#include "window/PasteTableModel.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>

namespace {

// The tallest row the table draws; a stored height beyond it is taken as this.
constexpr float kMaxRowHeight = 1000.0f;

// A stored frame, brought within what a window can be, so that no conversion to the integer
// geometry of a window overflows.
QRect windowFrame(const QRectF& frame) {
    constexpr double limit = QWIDGETSIZE_MAX;
    return QRectF(std::clamp(frame.x(), -limit, limit), std::clamp(frame.y(), -limit, limit),
                  std::clamp(frame.width(), 0.0, limit), std::clamp(frame.height(), 0.0, limit))
        .toRect();
}

} // namespace

PasteWindow::PasteWindow() {
    // Contents are read one at a time: they enter in order anyway, a newer content gives up the
    // reading of older ones, and a burst of screenshots should not hold several of them in memory
    // at once nor take every core.
    _captureJobs.setMaxThreadCount(1);
    // One save at a time.
    _autosaveJobs.setMaxThreadCount(1);
    // Thumbnails of loaded pictures, apart from captures, which must not wait behind them.
    _thumbnailJobs.setMaxThreadCount(1);
}

PasteWindow::~PasteWindow() {
    _thumbnailJobs.clear();
    _thumbnailJobs.waitForDone();
    _autosaveJobs.waitForDone();
    stopCaptures();
    _captureJobs.waitForDone();
}

void PasteWindow::initWindow(PasteWindowDelegate* applicationIns) {
    _applicationIns = applicationIns;
}

PasteWin* PasteWindow::getWindow() {
    if (!_window) {
        _window = std::make_unique<PasteWin>();
        _list = _window->list();
        _status = _window->status();
        _table = _window->table();
        awakeFromNib();
    }
    return _window.get();
}

void PasteWindow::awakeFromNib() {
    _list->clear();
    _list->addItem(kHistoryName);
    _list->setMaxVisibleItems(10);
    _list->setCurrentIndex(0);
    connect(_list, &QComboBox::currentIndexChanged, this, &PasteWindow::listChange);

    _table->setSender(this, _applicationIns);

    _status->clear();
    _status->addItems({plainTextName(), QStringLiteral("RTF")});
    _status->setCurrentIndex(int(_applicationIns->iPasteMode()));

    _pasteArray.clear();
    _pasteArray.push_back(std::make_unique<PasteSet>(kHistoryName));

    _model = new PasteTableModel(this, this);
    _table->setModel(_model);
    connect(_window->filter(), &QLineEdit::textChanged, this, &PasteWindow::filterChange);
    // Fixed widths: measuring every row's text at each change would cost more than a capture.
    QHeaderView* header = _table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    const int contents = PasteTableModel::column(QStringLiteral("Contents"));
    header->setSectionResizeMode(contents, QHeaderView::Stretch);
    header->resizeSection(PasteTableModel::column(QStringLiteral("No")),
                          header->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
    header->resizeSection(PasteTableModel::column(QStringLiteral("Kind")),
                          header->fontMetrics().horizontalAdvance(QStringLiteral("RTFD00")));
    setViewHeight(_applicationIns->fHeightOfRow());
    // Every column draws one line; the text column also draws the row's picture.
    _table->setItemDelegate(new ImageAndTextCell(_table));

    const QRectF frame = *_applicationIns->ptrRectPasteWindow();
    _window->setGeometry(windowFrame(frame));
    _window->initWindow(_applicationIns);
    setWindowTransparency(_applicationIns->fTransparency());
    setWindowLevel(_applicationIns->bAlwaysOnTop());
    loadDataFolder(_applicationIns->nssInitialFolder());

    // The table takes the drops its model declares: the private drag type first, then every
    // clipboard type Kelvrin reads.
    _table->setAcceptDrops(true);

    _kindString = {
        {plainTextName(), Qt::red},          {QStringLiteral("RTF"), Qt::green},
        {QStringLiteral("PICT"), Qt::black}, {QStringLiteral("TIFF"), Qt::black},
        {QStringLiteral("RTFD"), Qt::green}, {QStringLiteral("PDF"), Qt::black},
    };
    buildSheets();
    connect(_window.get(), &PasteWin::hidden, this, &PasteWindow::cancelOpenSheet);
}

QString PasteWindow::plainTextName() {
    //: The kind of a clipping of plain text, and the paste mode that pastes plain text alone; the
    //: other kinds and modes are the formats' names (RTF, RTFD, TIFF, PICT, PDF).
    return tr("text");
}

void PasteWindow::listChange() {
    if (_list->currentIndex() >= 0)
        _table->reloadData();
}

void PasteWindow::showPasteWindow() {
    PasteWin* window = getWindow();
    // The keys that choose and paste clippings are the table's.
    _table->setFocus();
    window->show();
    window->raise();
    window->activateWindow();
}

void PasteWindow::pasteWindowOrderOut() {
    getWindow()->hide();
}

void PasteWindow::pasteWindowOrderBack(QWidget* window) {
    PasteWin* paste = getWindow();
    paste->setAttribute(Qt::WA_ShowWithoutActivating);
    paste->show();
    paste->setAttribute(Qt::WA_ShowWithoutActivating, false);
    if (window)
        window->raise();
}

void PasteWindow::setTitleStr(const QString& title) {
    getWindow()->setWindowTitle(title);
}

void PasteWindow::selectFirstRowIfNone() {
    getWindow();
    if (_table->numberOfSelectedRows() == 0)
        _table->selectFirstRow();
}

void PasteWindow::setWindowTransparency(float alpha) {
    getWindow()->setWindowOpacity(double(alpha));
}

void PasteWindow::setViewHeight(float height) {
    getWindow();
    const int rowHeight = qRound(height >= 1.0f ? std::min(height, kMaxRowHeight) : 1.0f);
    _table->verticalHeader()->setMinimumSectionSize(rowHeight);
    _table->verticalHeader()->setDefaultSectionSize(rowHeight);
}

void PasteWindow::setWindowLevel(signed char alwaysOnTop) {
    getWindow()->setAlwaysOnTop(alwaysOnTop == 1);
}

qint64 PasteWindow::pasteStatus() const {
    return _status ? _status->currentIndex() : 0;
}

qint64 PasteWindow::selectedRows() const {
    return _table ? _table->numberOfSelectedRows() : 0;
}

quint64 PasteWindow::numberOfSetsWithoutPasteBoardHistory() const {
    return _pasteArray.empty() ? 0 : _pasteArray.size() - 1;
}

bool PasteWindow::isWindowAccepted() const {
    return isWindowVisible() && _bShowSheet != 1;
}

bool PasteWindow::isWindowVisible() const {
    return _window && _window->isVisible();
}

QRectF PasteWindow::pasteWindowRect() const {
    return _window ? QRectF(_window->geometry()) : QRectF();
}

PasteSet* PasteWindow::currentSet() const {
    if (!_list)
        return nullptr;
    const int index = _list->currentIndex();
    if (index < 0 || size_t(index) >= _pasteArray.size())
        return nullptr;
    return _pasteArray[size_t(index)].get();
}

quint64 PasteWindow::numberOfRowsInTableView() const {
    const PasteSet* set = currentSet();
    return set ? set->pasteData().size() : 0;
}

PasteData* PasteWindow::dataForRow(qint64 row) const {
    const PasteSet* set = currentSet();
    return set && row >= 0 ? set->getDataAtIndex(quint64(row)) : nullptr;
}

QVariant PasteWindow::tableView(const QString& identifier, qint64 row) const {
    const PasteData* data = dataForRow(row);
    if (!data)
        return {};
    if (identifier == u"No")
        return data->number();
    if (identifier == u"Contents")
        return data->displayContents() ? QVariant(*data->displayContents()) : QVariant();
    if (identifier == u"Kind") {
        const KindName* kind = kindNameForRow(row);
        const QString word = kind ? kind->text : QString::number(data->extraType());
        return data->contents() ? word + data->strInfo() : word;
    }
    return {};
}

const KindName* PasteWindow::kindNameForRow(qint64 row) const {
    const PasteData* data = dataForRow(row);
    // A code from a damaged file has no name; nothing is looked up outside the six.
    if (!data || !ExtraType::isKnown(data->extraType()) || _kindString.empty())
        return nullptr;
    return &_kindString[size_t(data->extraType())];
}

QImage PasteWindow::thumbnailForRow(qint64 row) {
    PasteData* data = dataForRow(row);
    if (!data || !_table)
        return {};
    const QSizeF size = thumbnailSize();
    const std::shared_ptr<Picture> picture = data->image(size);
    if (!picture)
        return {};
    const qreal ratio = qGuiApp->devicePixelRatio();
    const QSize pixels = (picture->size() * ratio).toSize();
    if (picture->isRenderedAt(pixels))
        return picture->render(pixels);
    drawThumbnail(*data->extraData(), data->extraType(), size, ratio);
    return {};
}

void PasteWindow::drawThumbnail(const QByteArray& payload, qint32 type, QSizeF size,
                                qreal pixelRatio) {
    if (_thumbnailsDrawing.contains(payload.constData()))
        return;
    _thumbnailsDrawing.insert(payload.constData());
    // The job holds the bytes until its result is taken, so no other payload can come to the
    // same address meanwhile.
    _thumbnailJobs.start([this, payload, type, size, pixelRatio] {
        std::shared_ptr<Picture> drawn = PasteData::drawnImage(payload, type, size, pixelRatio);
        // Safe from this thread: the destructor waits for the jobs, and the call it posts is
        // dropped with the object.
        QMetaObject::invokeMethod(
            this,
            [this, payload, size, drawn = std::move(drawn)] {
                adoptThumbnail(payload, size, drawn);
            },
            Qt::QueuedConnection);
    });
}

void PasteWindow::adoptThumbnail(const QByteArray& payload, QSizeF size,
                                 std::shared_ptr<Picture> drawn) {
    _thumbnailsDrawing.remove(payload.constData());
    // Copies of a clipping in other sets share its bytes, and take the drawing too.
    for (const auto& set : _pasteArray)
        for (const auto& clipping : set->pasteData())
            if (clipping->extraData() && clipping->extraData()->constData() == payload.constData())
                clipping->adoptImage(drawn, size);
    if (_table)
        _table->viewport()->update();
}

QSizeF PasteWindow::thumbnailSize() const {
    if (!_table)
        return {};
    const qreal side = _table->verticalHeader()->defaultSectionSize();
    return {side, side};
}
