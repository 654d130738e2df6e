#pragma once

#include "platform/FolderPanel.h"

#include <QList>
#include <gtest/gtest.h>
#include <optional>

// Answers the folder panels raised while it lives, in order, with the scripted folders (nothing,
// a cancel, is scripted as std::nullopt; a cancel too once they run out), and keeps what each
// panel asked. Outside its life a panel fails the running test instead of waiting for a
// choice that never comes.
class ScriptedFolderPanel {
public:
    explicit ScriptedFolderPanel(QList<std::optional<QString>> answers)
        : _answers(std::move(answers)) {
        FolderPanel::setResponder([this](const FolderPanel::Request& request) {
            _requests << request;
            return _answers.isEmpty() ? std::nullopt : _answers.takeFirst();
        });
    }
    ~ScriptedFolderPanel() { refuseUnscripted(); }
    ScriptedFolderPanel(const ScriptedFolderPanel&) = delete;
    ScriptedFolderPanel& operator=(const ScriptedFolderPanel&) = delete;

    const QList<FolderPanel::Request>& requests() const { return _requests; }

    // Installed by the test main: any panel nobody scripted is a failure.
    static void refuseUnscripted() {
        FolderPanel::setResponder([](const FolderPanel::Request& request) {
            ADD_FAILURE() << "unexpected folder panel: " << request.title.toStdString();
            return std::optional<QString>();
        });
    }

private:
    QList<std::optional<QString>> _answers;
    QList<FolderPanel::Request> _requests;
};
