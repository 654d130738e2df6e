#pragma once

#include "platform/FolderPanel.h"

#include <QList>
#include <optional>

// Answers the folder panels raised while it lives, in order, with the scripted folders (nothing,
// a cancel, is scripted as std::nullopt; a cancel too once they run out), and keeps what each
// panel asked. Outside its life a panel fails the running test instead of waiting for a
// choice that never comes.
class ScriptedFolderPanel {
public:
    explicit ScriptedFolderPanel(QList<std::optional<QString>> answers);
    ~ScriptedFolderPanel();
    ScriptedFolderPanel(const ScriptedFolderPanel&) = delete;
    ScriptedFolderPanel& operator=(const ScriptedFolderPanel&) = delete;

    const QList<FolderPanel::Request>& requests() const { return _requests; }

    // Installed by the test main: any panel nobody scripted is a failure.
    static void refuseUnscripted();

private:
    QList<std::optional<QString>> _answers;
    QList<FolderPanel::Request> _requests;
};
