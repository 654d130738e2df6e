#pragma once

#include <QString>
#include <functional>
#include <optional>

// The modal panel in which the user chooses one folder. A responder can take the place of the
// panel: tests script the answers with it.
namespace FolderPanel {

struct Request {
    QString title;
    QString startFolder;
    bool canCreateFolders = false;
};

using Responder = std::function<std::optional<QString>(const Request&)>;

// Shows the panel application-modal, so the clipboard poll waits while it is up; the chosen
// folder's path, nothing when the user cancelled.
std::optional<QString> run(const QString& title, const QString& startFolder, bool canCreateFolders);

// Installs a responder in place of the panel; an empty one brings the panel back.
void setResponder(Responder responder);

// The session is ending: a panel up now closes as cancelled, and every later one answers so at
// once without showing.
void cancelEverything();

} // namespace FolderPanel
