// The user settings: read once at launch, written when a quit is accepted, and the answer to
// the data folder offer as soon as it is given.
#include "app/MyObject.h"

#include "platform/Defaults.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "window/PasteWindow.h"

#include <QDir>
#include <variant>

namespace {

// The hot key is one of 55 keys; a stored index outside them must not pick a key.
constexpr qint64 kKeyCount = 55;
constexpr qint64 kDefaultKey = 1;

QString defaultPanelFolder() {
    return Strings::format(QStringLiteral("%@/Documents/Kelvrin/"), {QDir::homePath()});
}

// Each field's stored value, by the type of the field; nothing when it is absent or cannot
// be read as that type.
std::optional<signed char> stored(const Defaults& defaults, const QString& key, signed char*) {
    const std::optional<bool> value = defaults.boolForKey(key);
    return value ? std::optional<signed char>(*value ? 1 : 0) : std::nullopt;
}
std::optional<bool> stored(const Defaults& defaults, const QString& key, bool*) {
    return defaults.boolForKey(key);
}
std::optional<qint64> stored(const Defaults& defaults, const QString& key, qint64*) {
    return defaults.integerForKey(key);
}
std::optional<float> stored(const Defaults& defaults, const QString& key, float*) {
    return defaults.floatForKey(key);
}
std::optional<QString> stored(const Defaults& defaults, const QString& key, QString*) {
    return defaults.stringForKey(key);
}
// The frame: stored as 32-bit floats.
std::optional<double> stored(const Defaults& defaults, const QString& key, double*) {
    const std::optional<float> value = defaults.floatForKey(key);
    return value ? std::optional<double>(*value) : std::nullopt;
}

// A value that cannot be read leaves the field at its default.
template <typename Variant>
void load(const Defaults& defaults, const char* name, const Variant& settingField) {
    const QString key = QString::fromLatin1(name);
    std::visit(
        [&](auto* field) {
            if (const auto value = stored(defaults, key, field))
                *field = *value;
        },
        settingField);
}

template <typename Variant>
void save(Defaults& defaults, const char* name, const Variant& settingField) {
    const QString key = QString::fromLatin1(name);
    std::visit(
        [&](auto* field) {
            using Field = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<Field, signed char>)
                defaults.setBool(*field == 1, key);
            else if constexpr (std::is_same_v<Field, bool>)
                defaults.setBool(*field, key);
            else if constexpr (std::is_same_v<Field, qint64>)
                defaults.setInteger(*field, key);
            else if constexpr (std::is_same_v<Field, float>)
                defaults.setFloat(*field, key);
            else if constexpr (std::is_same_v<Field, QString>)
                defaults.setObject(*field, key);
            else
                defaults.setFloat(float(*field), key);
        },
        settingField);
}

} // namespace

std::vector<std::pair<const char*, MyObject::SettingField>>
MyObject::settingFields(double frame[4]) {
    return {
        {"hotkey_command", &_bCommand},
        {"hotkey_control", &_bControl},
        {"hotkey_option", &_bOption},
        {"hotkey_shift", &_bShift},
        {"hotkey_key", &_iKey},
        {"paste_limits", &_iLimits},
        {"initial_directory", &_nssInitialFolder},
        {"initial_directory_update", &_bUpdateFolder},
        {"paste_window_hide", &_bHide},
        {"paste_window_background_hide", &_bBackHide},
        {"paste_window_always_on_top", &_bAlwaysOnTop},
        {"paste_window_transparency", &_fTransparency},
        {"paste_window_height_of_row", &_fHeightOfRow},
        {"paste_window_recently_top", &_bRecentlyTop},
        {"write_directory", &_nssWriteFolder},
        {"read_directory", &_nssReadFolder},
        {"paste_window_mode", &_iPasteMode},
        {"keep_clipboard", &_bKeepClipboard},
        {"autosave", &_bAutosave},
        {"offer_data_folder", &_bOfferDataFolder},
        {"paste_window_x", &frame[0]},
        {"paste_window_y", &frame[1]},
        {"paste_window_width", &frame[2]},
        {"paste_window_height", &frame[3]},
    };
}

void MyObject::LoadUserSettings() {
    _nssWriteFolder = defaultPanelFolder();
    _nssReadFolder = defaultPanelFolder();
    // Settings stored without the offer's key are those of a user who has chosen already: an
    // empty data folder is a choice too.
    _bOfferDataFolder = _defaults->isEmpty();
    double frame[4] = {100.0, 100.0, 325.0, 285.0};
    for (const auto& [key, field] : settingFields(frame))
        load(*_defaults, key, field);
    if (_iKey < 0 || _iKey >= kKeyCount)
        _iKey = kDefaultKey;
    _rectPasteWindow = QRectF(frame[0], frame[1], frame[2], frame[3]);
}

// The paste mode and the frame are taken from the window as it is now, not as it was loaded.
void MyObject::SaveUserSettings() {
    _iPasteMode = _pasteWindow ? _pasteWindow->pasteStatus() : 0;
    _rectPasteWindow = _pasteWindow ? _pasteWindow->pasteWindowRect() : QRectF();
    double frame[4] = {_rectPasteWindow.x(), _rectPasteWindow.y(), _rectPasteWindow.width(),
                       _rectPasteWindow.height()};
    for (const auto& [key, field] : settingFields(frame))
        save(*_defaults, key, field);
    synchronizeSettings("SaveUserSettings");
}

void MyObject::storeDataFolderChoice() {
    _defaults->setObject(_nssInitialFolder, QStringLiteral("initial_directory"));
    _defaults->setBool(_bOfferDataFolder, QStringLiteral("offer_data_folder"));
    synchronizeSettings("storeDataFolderChoice");
}

void MyObject::synchronizeSettings(const char* method) {
    if (!_defaults->synchronize())
        Log::write(Strings::format(QStringLiteral("warning*** :[%s] [settings not saved: %@]"),
                                   {method, _defaults->filePath()}));
}
