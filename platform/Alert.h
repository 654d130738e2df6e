#pragma once

#include <QString>
#include <functional>

// Modal alert panels and the error beep. A responder can take the place of the panels: tests
// script the answers with it, and a run without a display answers on standard error.
namespace Alert {

// The answers of a panel: its default (first) button and the alternate one.
constexpr int DefaultReturn = 1;
constexpr int AlternateReturn = 0;

struct Request {
    QString title;
    QString message;
    QString defaultButton;
    QString alternateButton;
    // The answer that changes nothing: Escape, the window's close button and the end of the
    // session all give it, so none of them can lose the user's data.
    int safeAnswer = DefaultReturn;
};

using Responder = std::function<int(const Request&)>;

// Shows the panel and waits for the user; an alternate button with an empty title is not
// shown. Texts are shown as they stand, never as markup.
int run(const QString& title, const QString& message, const QString& defaultButton,
        const QString& alternateButton = {}, int safeAnswer = DefaultReturn);

void beep();

// Installs a responder in place of the panels, and one that hears the beeps; empty ones bring
// the panels and the sound back.
void setResponder(Responder responder, std::function<void()> beeper = {});

// True while an application-modal panel (an alert or a folder panel) waits for the user.
bool isApplicationModalUp();

// The session is ending and nobody is left to answer: every panel up now closes with its
// safe answer, and every later one answers it at once without showing.
void answerEverythingSafely();

} // namespace Alert
