#include "ScriptedFolderPanel.h"

#include <gtest/gtest.h>

ScriptedFolderPanel::ScriptedFolderPanel(QList<std::optional<QString>> answers)
    : _answers(std::move(answers)) {
    FolderPanel::setResponder([this](const FolderPanel::Request& request) {
        _requests << request;
        return _answers.isEmpty() ? std::nullopt : _answers.takeFirst();
    });
}

ScriptedFolderPanel::~ScriptedFolderPanel() {
    refuseUnscripted();
}

void ScriptedFolderPanel::refuseUnscripted() {
    FolderPanel::setResponder([](const FolderPanel::Request& request) {
        ADD_FAILURE() << "unexpected folder panel: " << request.title.toStdString();
        return std::optional<QString>();
    });
}
