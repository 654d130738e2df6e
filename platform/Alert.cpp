#include "platform/Alert.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace Alert {

namespace {
Responder& responder() {
    static Responder current;
    return current;
}
} // namespace

int run(const QString& title, const QString& message, const QString& defaultButton,
        const QString& alternateButton, const QString& otherButton) {
    const Request request{title, message, defaultButton, alternateButton, otherButton};
    if (responder())
        return responder()(request);

    QMessageBox box;
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(title);
    box.setText(title);
    box.setInformativeText(message);
    QPushButton* first = box.addButton(defaultButton, QMessageBox::AcceptRole);
    QPushButton* second =
        alternateButton.isEmpty() ? nullptr : box.addButton(alternateButton, QMessageBox::RejectRole);
    if (!otherButton.isEmpty())
        box.addButton(otherButton, QMessageBox::DestructiveRole);
    box.setDefaultButton(first);
    box.exec();
    if (box.clickedButton() == first)
        return DefaultReturn;
    if (second && box.clickedButton() == second)
        return AlternateReturn;
    return otherButton.isEmpty() ? AlternateReturn : OtherReturn;
}

void beep() { QApplication::beep(); }

void setResponder(Responder newResponder) { responder() = std::move(newResponder); }

bool isApplicationModalUp() {
    const QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->windowModality() == Qt::ApplicationModal;
}

} // namespace Alert
