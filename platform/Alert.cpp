#include "platform/Alert.h"

#include "platform/PanelOwner.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace Alert {

namespace {

Responder& responder() {
    static Responder current;
    return current;
}

std::function<void()>& beeper() {
    static std::function<void()> current;
    return current;
}

bool& nobodyToAsk() {
    static bool ending = false;
    return ending;
}

// The panels waiting for an answer now, innermost last.
QList<QPointer<QMessageBox>>& openPanels() {
    static QList<QPointer<QMessageBox>> panels;
    return panels;
}

int showPanel(const Request& request) {
    const PanelOwner owner;
    QMessageBox box(owner.window());
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(request.title);
    box.setTextFormat(Qt::PlainText);
    box.setText(request.title);
    box.setInformativeText(request.message);
    // A path or a set name that looks like markup must not become a link.
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    QPushButton* first = box.addButton(request.defaultButton, QMessageBox::AcceptRole);
    QPushButton* second = request.alternateButton.isEmpty()
                              ? nullptr
                              : box.addButton(request.alternateButton, QMessageBox::RejectRole);
    box.setDefaultButton(first);
    QPushButton* safe = request.safeAnswer == AlternateReturn && second ? second : first;
    box.setEscapeButton(safe);

    openPanels().append(&box);
    box.exec();
    openPanels().removeAll(&box);
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == first)
        return DefaultReturn;
    if (second && clicked == second)
        return AlternateReturn;
    return request.safeAnswer;
}

} // namespace

int run(const QString& title, const QString& message, const QString& defaultButton,
        const QString& alternateButton, int safeAnswer) {
    const Request request{title, message, defaultButton, alternateButton, safeAnswer};
    if (nobodyToAsk())
        return safeAnswer;
    if (responder())
        return responder()(request);
    return showPanel(request);
}

void beep() {
    if (beeper())
        beeper()();
    else
        QApplication::beep();
}

void setResponder(Responder newResponder, std::function<void()> newBeeper) {
    responder() = std::move(newResponder);
    beeper() = std::move(newBeeper);
}

bool isApplicationModalUp() {
    const QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->windowModality() == Qt::ApplicationModal;
}

void answerEverythingSafely() {
    nobodyToAsk() = true;
    for (const QPointer<QMessageBox>& panel : openPanels()) {
        if (panel && panel->escapeButton())
            panel->escapeButton()->click();
    }
}

} // namespace Alert
