#include "platform/HotKey.h"
#include "platform/x11/X11HotKey.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <string_view>

// The settings keep the menu index; each index must grab the key its menu item names, no two
// the same, and an index from a damaged settings file must not read past the table.
TEST(HotKeyTable, EachChoiceIsItsKeyAndNothingOutsideTheTable) {
    QStringList expected = {"Up", "Down", "Left", "Right"};
    for (int f = 1; f <= 15; ++f)
        expected << QStringLiteral("F%1").arg(f);
    for (const char key : std::string_view("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
        expected << QString(QLatin1Char(key));
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
