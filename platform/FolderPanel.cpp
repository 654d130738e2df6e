#include "platform/FolderPanel.h"

#include "platform/PanelOwner.h"

#include <QFileDialog>
#include <QPointer>

namespace FolderPanel {

namespace {

Responder& responder() {
    static Responder current;
    return current;
}

bool& nobodyToAsk() {
    static bool ending = false;
    return ending;
}

QPointer<QFileDialog>& openPanel() {
    static QPointer<QFileDialog> panel;
    return panel;
}

std::optional<QString> showPanel(const Request& request) {
    const PanelOwner owner;
    QFileDialog panel(owner.window());
    panel.setWindowModality(Qt::ApplicationModal);
    panel.setWindowTitle(request.title);
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly);
    // A read-only panel offers no button to make a new folder.
    panel.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    panel.setDirectory(request.startFolder);
    openPanel() = &panel;
    const bool chosen = panel.exec() == QDialog::Accepted;
    openPanel() = nullptr;
    const QStringList folders = panel.selectedFiles();
    if (!chosen || folders.size() != 1)
        return std::nullopt;
    return folders.front();
}

} // namespace

std::optional<QString> run(const QString& title, const QString& startFolder,
                           bool canCreateFolders) {
    const Request request{title, startFolder, canCreateFolders};
    if (nobodyToAsk())
        return std::nullopt;
    if (responder())
        return responder()(request);
    return showPanel(request);
}

void setResponder(Responder newResponder) {
    responder() = std::move(newResponder);
}

void cancelEverything() {
    nobodyToAsk() = true;
    if (openPanel())
        openPanel()->reject();
}

} // namespace FolderPanel
