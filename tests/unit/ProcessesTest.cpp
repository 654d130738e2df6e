#include "platform/Processes.h"
#include "platform/KeyEvents.h"

#include <QWidget>
#include <gtest/gtest.h>

// Terminals paste with Control+Shift+V, and a plain Control+V there types a control character
// into the shell: each must be known by the class its program really sets.
TEST(TerminalClasses, KnownByClassOrInstanceWhateverTheCase) {
    using Processes::isTerminal;
    EXPECT_TRUE(isTerminal(u"Gnome-terminal", u"gnome-terminal-server"));
    EXPECT_TRUE(isTerminal(u"XTerm", u"xterm"));
    EXPECT_TRUE(isTerminal(u"URxvt"));
    EXPECT_TRUE(isTerminal(u"org.wezfurlong.wezterm"));
    EXPECT_TRUE(isTerminal(u"st-256color"));
    EXPECT_TRUE(isTerminal(u"ALACRITTY"));
    // A program whose class says nothing, but whose instance does.
    EXPECT_TRUE(isTerminal(u"Wrapper", u"konsole"));

    EXPECT_FALSE(isTerminal(u"firefox-esr", u"Navigator"));
    EXPECT_FALSE(isTerminal(u"Gnome-terminal-preferences"));
    EXPECT_FALSE(isTerminal(u"stalonetray"));
    EXPECT_FALSE(isTerminal(u""));
}

// The unit tests run on Qt's offscreen platform, where there is no X server to ask.
TEST(ProcessesOffX11, NothingIsInFrontAndNothingIsSent) {
    EXPECT_FALSE(Processes::frontmost());
    QWidget window;
    window.show();
    EXPECT_FALSE(Processes::isCurrent(quint32(window.winId())));
    EXPECT_FALSE(Processes::bringToFront(quint32(window.winId())));
    Processes::activate(&window, 1);
    EXPECT_FALSE(KeyEvents::sendPaste(false));
    EXPECT_FALSE(KeyEvents::sendPaste(true));
}
