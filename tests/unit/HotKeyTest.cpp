#include "platform/HotKey.h"
#include "platform/x11/X11HotKey.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

QString keyOfChoice(int choice) {
    const std::optional<quint8> code = HotKey::keyCode(choice);
    return code ? HotKey::describe(*code, 0) : QStringLiteral("<nothing>");
}

// The modifier bits of the X core protocol.
constexpr quint16 kXShift = 1 << 0, kXControl = 1 << 2, kXMod1 = 1 << 3, kXMod4 = 1 << 6;

} // namespace

// The settings keep the menu index; each index must grab the key its menu item names, and an
// index from a damaged settings file must not read past the table.
TEST(HotKeyTable, EachChoiceIsItsKeyAndNothingOutsideTheTable) {
    EXPECT_EQ(keyOfChoice(0), QStringLiteral("Up"));
    EXPECT_EQ(keyOfChoice(1), QStringLiteral("Down"));
    EXPECT_EQ(keyOfChoice(3), QStringLiteral("Right"));
    EXPECT_EQ(keyOfChoice(4), QStringLiteral("F1"));
    EXPECT_EQ(keyOfChoice(18), QStringLiteral("F15"));
    EXPECT_EQ(keyOfChoice(19), QStringLiteral("0"));
    EXPECT_EQ(keyOfChoice(28), QStringLiteral("9"));
    EXPECT_EQ(keyOfChoice(29), QStringLiteral("A"));
    EXPECT_EQ(keyOfChoice(54), QStringLiteral("Z"));
    for (const int outside : {-1, 55, 255, 1 << 20})
        EXPECT_EQ(HotKey::keyCode(outside), std::nullopt) << outside;
    // A key code of another key than those offered has no X key either.
    EXPECT_EQ(HotKey::describe(200, HotKey::ControlKey), QString());

    // No two items grab the same key.
    QSet<QString> keys;
    for (int choice = 0; choice < int(gKeyTable.size()); ++choice)
        keys.insert(keyOfChoice(choice));
    EXPECT_EQ(keys.size(), qsizetype(gKeyTable.size()));
}

TEST(HotKeyTable, ModifierMasksBecomeXModifiersAndWords) {
    EXPECT_EQ(X11HotKey::xModifiers(0), 0);
    EXPECT_EQ(X11HotKey::xModifiers(HotKey::CommandKey), kXMod4);
    EXPECT_EQ(X11HotKey::xModifiers(HotKey::ShiftKey), kXShift);
    EXPECT_EQ(X11HotKey::xModifiers(HotKey::OptionKey), kXMod1);
    EXPECT_EQ(X11HotKey::xModifiers(HotKey::ControlKey), kXControl);
    const quint16 all =
        HotKey::CommandKey | HotKey::ShiftKey | HotKey::OptionKey | HotKey::ControlKey;
    EXPECT_EQ(all, 0x1B00);
    EXPECT_EQ(X11HotKey::xModifiers(all), kXMod4 | kXShift | kXMod1 | kXControl);
    // Bits the application does not set stand for no key.
    EXPECT_EQ(X11HotKey::xModifiers(0x04FF), 0);

    EXPECT_EQ(HotKey::describe(125, HotKey::ControlKey), QStringLiteral("Control+Down"));
    EXPECT_EQ(HotKey::describe(96, all), QStringLiteral("Control+Alt+Shift+Super+F5"));
}

// Without a display system's backend (the offscreen platform here) there is nothing to grab, and
// no event is a press of it.
TEST(HotKeyTable, WithoutABackendNothingInstalls) {
    HotKey hotKey;
    EXPECT_FALSE(hotKey.install(125, HotKey::ControlKey));
    quint8 event[32] = {2 /* a key press */};
    quint32 time = 0;
    EXPECT_FALSE(hotKey.isPress("xcb_generic_event_t", event, &time));
    hotKey.uninstall();
}
