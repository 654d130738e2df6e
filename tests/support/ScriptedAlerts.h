#pragma once

#include "platform/Alert.h"

#include <QList>
#include <gtest/gtest.h>

// Answers the alerts raised while it lives, in order, with the scripted answers (the default
// button once they run out), and keeps what each alert said and how often it beeped; meanwhile,
// when given, runs while each alert is up, as what the user does elsewhere before answering.
// Outside its life an alert fails the running test instead of waiting for a click that never
// comes.
class ScriptedAlerts {
public:
    // An answer given as a person pressing Escape would: the panel's safe answer.
    static constexpr int kEscape = -100;

    explicit ScriptedAlerts(QList<int> answers = {}, std::function<void()> meanwhile = {})
        : _answers(std::move(answers)) {
        Alert::setResponder(
            [this, meanwhile = std::move(meanwhile)](const Alert::Request& request) {
                _requests.append(request);
                if (meanwhile)
                    meanwhile();
                const int answer = _answers.isEmpty() ? Alert::DefaultReturn : _answers.takeFirst();
                return answer == kEscape ? request.safeAnswer : answer;
            },
            [this] { ++_beeps; });
    }
    ~ScriptedAlerts() { refuseUnscripted(); }
    ScriptedAlerts(const ScriptedAlerts&) = delete;
    ScriptedAlerts& operator=(const ScriptedAlerts&) = delete;

    const QList<Alert::Request>& requests() const { return _requests; }
    int beeps() const { return _beeps; }

    // Installed by the test main: any alert nobody scripted is a failure.
    static void refuseUnscripted() {
        Alert::setResponder(
            [](const Alert::Request& request) {
                ADD_FAILURE() << "unexpected alert: " << request.title.toStdString() << ": "
                              << request.message.toStdString();
                return Alert::DefaultReturn;
            },
            [] {});
    }

private:
    QList<int> _answers;
    QList<Alert::Request> _requests;
    int _beeps = 0;
};
