#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

// The user's settings store: typed values under string keys in an INI file, by default
// $XDG_CONFIG_HOME/Kelvrin/Kelvrin.ini. A value stored as another type than the one asked for
// is converted the forgiving way ("yes", "true" or a non-zero number count as true; a text
// that is no number reads as 0).
class Defaults {
public:
    Defaults();
    explicit Defaults(const QString& filePath);

    bool hasKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    float floatForKey(const QString& key) const;
    std::optional<QString> stringForKey(const QString& key) const;

    void setBool(bool value, const QString& key);
    void setInteger(qint64 value, const QString& key);
    void setFloat(float value, const QString& key);
    void setObject(const QString& value, const QString& key);

    // Writes the store out; false when the file could not be written.
    bool synchronize();

    QString filePath() const { return _settings->fileName(); }

private:
    std::unique_ptr<QSettings> _settings;
};
