#include "platform/Defaults.h"

#include <cmath>
#include <limits>

Defaults::Defaults()
    : _settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Kelvrin"), QStringLiteral("Kelvrin"))) {
}

Defaults::Defaults(const QString& filePath)
    : _settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

bool Defaults::hasKey(const QString& key) const {
    return _settings->contains(key);
}

bool Defaults::isEmpty() const {
    return _settings->allKeys().isEmpty();
}

std::optional<double> Defaults::numberForKey(const QString& key) const {
    bool ok = false;
    const double value = _settings->value(key).toString().trimmed().toDouble(&ok);
    if (ok && std::isfinite(value))
        return value;
    return std::nullopt;
}

std::optional<bool> Defaults::boolForKey(const QString& key) const {
    const QString text = _settings->value(key).toString().trimmed().toLower();
    if (text == u"true" || text == u"yes")
        return true;
    if (text == u"false" || text == u"no")
        return false;
    if (const auto value = numberForKey(key))
        return *value != 0;
    return std::nullopt;
}

std::optional<qint64> Defaults::integerForKey(const QString& key) const {
    bool ok = false;
    const qint64 whole = _settings->value(key).toString().trimmed().toLongLong(&ok);
    if (ok)
        return whole;
    // 2^63 is the first double outside qint64.
    if (const auto value = numberForKey(key); value && std::abs(*value) < 0x1p63)
        return qint64(*value);
    return std::nullopt;
}

std::optional<float> Defaults::floatForKey(const QString& key) const {
    const auto value = numberForKey(key);
    if (!value)
        return std::nullopt;
    constexpr double largest = std::numeric_limits<float>::max();
    return float(std::clamp(*value, -largest, largest));
}

std::optional<QString> Defaults::stringForKey(const QString& key) const {
    if (!hasKey(key))
        return std::nullopt;
    return _settings->value(key).toString();
}

void Defaults::setBool(bool value, const QString& key) {
    _settings->setValue(key, value);
}

void Defaults::setInteger(qint64 value, const QString& key) {
    _settings->setValue(key, value);
}

void Defaults::setFloat(float value, const QString& key) {
    // Written with enough digits that the same 32-bit float comes back.
    _settings->setValue(key, QString::number(value, 'g', 9));
}

void Defaults::setObject(const QString& value, const QString& key) {
    _settings->setValue(key, value);
}

bool Defaults::synchronize() {
    // A store keeps the first error it met for good, and would report it at every later try
    // whatever that try did: a new one, holding the values not yet written, tries afresh.
    if (_settings->status() != QSettings::NoError) {
        auto fresh = std::make_unique<QSettings>(_settings->fileName(), QSettings::IniFormat);
        for (const QString& key : _settings->allKeys())
            fresh->setValue(key, _settings->value(key));
        _settings = std::move(fresh);
    }
    _settings->sync();
    return _settings->status() == QSettings::NoError;
}
