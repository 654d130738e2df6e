#include "Fixtures.h"
#include "ScopedEnvironment.h"

#include "platform/DesktopEntries.h"
#include "platform/HotKey.h"
#include "platform/KeyEvents.h"
#include "platform/Processes.h"
#include "platform/x11/X11HotKey.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <chrono>
#include <gtest/gtest.h>
#include <string_view>
#include <thread>

// Terminals paste with Control+Shift+V, where a plain Control+V types a control character into
// the shell, and the xterm family with Shift+Insert, from the primary selection: each must be
// known by the class its program really sets.
TEST(PasteKeystrokes, KnownByClassOrInstanceWhateverTheCase) {
    using KeyEvents::Paste;
    const std::tuple<std::u16string_view, std::u16string_view, Paste> cases[] = {
        {u"Gnome-terminal", u"gnome-terminal-server", Paste::ControlShiftV},
        {u"ALACRITTY", u"", Paste::ControlShiftV},
        // A program whose class says nothing, but whose instance does.
        {u"Wrapper", u"konsole", Paste::ControlShiftV},
        {u"XTerm", u"xterm", Paste::ShiftInsert},
        {u"URxvt", u"urxvt", Paste::ShiftInsert},
        {u"firefox-esr", u"Navigator", Paste::ControlV},
        {u"Gnome-terminal-preferences", u"", Paste::ControlV},
        {u"stalonetray", u"", Paste::ControlV},
        {u"", u"", Paste::ControlV}};
    for (const auto& [windowClass, instance, paste] : cases)
        EXPECT_EQ(KeyEvents::pasteKeystroke(windowClass, instance), paste)
            << QString::fromUtf16(windowClass.data(), windowClass.size()).toStdString();
    EXPECT_TRUE(KeyEvents::pastesPrimary(Paste::ShiftInsert));
    EXPECT_FALSE(KeyEvents::pastesPrimary(Paste::ControlShiftV));
}

// The unit tests run on Qt's offscreen platform: with no display system's backend there is no
// server to ask, nothing to grab, and no event is a press of the hot key.
TEST(ProcessesOffX11, NothingIsInFrontGrabbedOrSent) {
    EXPECT_FALSE(Processes::frontmost());
    QWidget window;
    window.show();
    EXPECT_FALSE(Processes::isCurrent(quint32(window.winId())));
    EXPECT_FALSE(Processes::bringToFront(quint32(window.winId())));
    Processes::activate(&window, {1, {}});
    EXPECT_FALSE(KeyEvents::sendPaste(KeyEvents::Paste::ControlV, quint32(window.winId())));
    EXPECT_FALSE(KeyEvents::sendPaste(KeyEvents::Paste::ShiftInsert, quint32(window.winId())));
    HotKey hotKey;
    int presses = 0;
    EXPECT_FALSE(hotKey.install(125, HotKey::ControlKey, [&](const HotKey::Press&) { ++presses; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, 0);
    hotKey.uninstall();
}

// A program is called what its desktop entry calls it: the first folder holding an entry decides,
// a deleted entry names nothing, and the name follows the user's locale.
TEST(DesktopEntries, NameTheProgramOfAWindowClassAsTheDesktopDoes) {
    const QString entries = fixturePath(QStringLiteral("desktop/"));
    QTemporaryDir later;
    ASSERT_TRUE(QDir(later.path()).mkdir(QStringLiteral("applications")));
    const QByteArray home = (entries + "home").toUtf8();
    const QByteArray dirs = (entries + "one:" + entries + "two:" + later.path()).toUtf8();
    const ScopedEnvironment environment{{"XDG_DATA_HOME", home.constData()},
                                        {"XDG_DATA_DIRS", dirs.constData()},
                                        {"LC_ALL", "de_AT.UTF-8"}};
    using DesktopEntries::applicationName;
    EXPECT_EQ(applicationName(QStringLiteral("LibreOffice-Writer")), QStringLiteral("Schreiberl"));
    EXPECT_EQ(applicationName(QStringLiteral("Xfce4-terminal")), QStringLiteral("My Terminal"));
    EXPECT_EQ(applicationName(QStringLiteral("gone")), QString());
    EXPECT_EQ(applicationName(QStringLiteral("Unknown")), QString());
    for (const auto& [locale, name] :
         {std::pair{"de_CH.UTF-8", "Schreiber"}, {"C", "Writer Pro"}}) {
        const ScopedEnvironment other{{"LC_ALL", locale}};
        EXPECT_EQ(applicationName(QStringLiteral("libreoffice-writer")), QString(name)) << locale;
    }
    // Installed while Kelvrin runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(QFile::copy(entries + "late/mousepad.desktop",
                            later.filePath("applications/mousepad.desktop")));
    EXPECT_EQ(applicationName(QStringLiteral("Mousepad")), QStringLiteral("Mousepad"));
}

// The settings keep the menu index; each index must grab the key its menu item names, no two
// the same, and an index from a damaged settings file must not read past the table.
TEST(HotKeyTable, EachChoiceIsItsKeyAndNothingOutsideTheTable) {
    const QStringList expected =
        QStringLiteral("Up Down Left Right F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12 F13 F14 F15 "
                       "0 1 2 3 4 5 6 7 8 9 A B C D E F G H I J K L M N O P Q R S T U V W X Y Z")
            .split(u' ');
    QStringList keys;
    for (int choice = 0; choice < int(gKeyTable.size()); ++choice)
        keys << HotKey::describe(HotKey::keyCode(choice).value_or(255), 0);
    EXPECT_EQ(keys, expected);
    for (const int outside : {-1, 55, 255, 1 << 20})
        EXPECT_EQ(HotKey::keyCode(outside), std::nullopt) << outside;
    // A key code of another key than those offered has no X key either.
    EXPECT_EQ(HotKey::describe(200, HotKey::ControlKey), QString());

    // Each modifier's own grab is pressed in the HotKeyGrab tests; bits the application does not
    // set stand for no key.
    const quint16 all =
        HotKey::CommandKey | HotKey::ShiftKey | HotKey::OptionKey | HotKey::ControlKey;
    EXPECT_EQ(HotKey::describe(96, all), QStringLiteral("Control+Alt+Shift+Super+F5"));
    constexpr quint16 kXShift = 1 << 0, kXControl = 1 << 2, kXMod1 = 1 << 3, kXMod4 = 1 << 6;
    EXPECT_EQ(X11HotKey::xModifiers(all | 0x04FF), kXShift | kXControl | kXMod1 | kXMod4);
    EXPECT_EQ(X11HotKey::xModifiers(0x04FF), 0);
}
