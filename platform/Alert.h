#pragma once

#include <QString>
#include <functional>

// Modal alert panels and the error beep. A responder can take the place of the panels: tests
// script the answers with it, and a run without a display answers on standard error.
namespace Alert {

// The answers of a panel: its default (first) button, the alternate one, the third one.
constexpr int DefaultReturn = 1;
constexpr int AlternateReturn = 0;
constexpr int OtherReturn = -1;

struct Request {
    QString title;
    QString message;
    QString defaultButton;
    QString alternateButton;
    QString otherButton;
};

using Responder = std::function<int(const Request&)>;

// Shows the panel and waits for the user; buttons with an empty title are not shown.
int run(const QString& title, const QString& message, const QString& defaultButton,
        const QString& alternateButton = {}, const QString& otherButton = {});

void beep();

// Installs a responder in place of the panels; an empty one brings the panels back.
void setResponder(Responder responder);

// True while an application-modal panel (an alert or a folder panel) waits for the user.
bool isApplicationModalUp();

} // namespace Alert
