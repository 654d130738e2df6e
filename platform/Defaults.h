#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

// The user's settings store: typed values under string keys in an INI file, by default
// $XDG_CONFIG_HOME/Kelvrin/Kelvrin.ini. Each getter answers nothing when the key is absent or
// its value cannot be read as the type asked for, so the caller keeps its default. Reading is
// forgiving where the meaning is plain: "yes", "true" or a non-zero number count as true, and
// a number written as a fraction or an exponent reads as an integer.
class Defaults {
public:
    Defaults();
    explicit Defaults(const QString& filePath);

    bool hasKey(const QString& key) const;
    // Whether the store holds no key at all: nothing was ever stored, as for a new user.
    bool isEmpty() const;
    std::optional<bool> boolForKey(const QString& key) const;
    std::optional<qint64> integerForKey(const QString& key) const;
    // A number beyond the range of a float reads as the largest float of its sign.
    std::optional<float> floatForKey(const QString& key) const;
    std::optional<QString> stringForKey(const QString& key) const;

    void setBool(bool value, const QString& key);
    void setInteger(qint64 value, const QString& key);
    void setFloat(float value, const QString& key);
    void setObject(const QString& value, const QString& key);

    // Writes the store out; false when the file could not be written, or not read as settings.
    // A later call tries again, with every value set before it.
    bool synchronize();

    QString filePath() const { return _settings->fileName(); }

private:
    std::optional<double> numberForKey(const QString& key) const;

    std::unique_ptr<QSettings> _settings;
};
