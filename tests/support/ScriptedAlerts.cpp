#include "ScriptedAlerts.h"

#include <gtest/gtest.h>

ScriptedAlerts::ScriptedAlerts(QList<int> answers) : _answers(std::move(answers)) {
    Alert::setResponder(
        [this](const Alert::Request& request) {
            _requests.append(request);
            const int answer = _answers.isEmpty() ? Alert::DefaultReturn : _answers.takeFirst();
            return answer == kEscape ? request.safeAnswer : answer;
        },
        [this] { ++_beeps; });
}

ScriptedAlerts::~ScriptedAlerts() {
    refuseUnscripted();
}

void ScriptedAlerts::refuseUnscripted() {
    Alert::setResponder(
        [](const Alert::Request& request) {
            ADD_FAILURE() << "unexpected alert: " << request.title.toStdString() << ": "
                          << request.message.toStdString();
            return Alert::DefaultReturn;
        },
        [] {});
}
