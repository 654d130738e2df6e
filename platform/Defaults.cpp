#include "platform/Defaults.h"

#include <cmath>

Defaults::Defaults()
    : _settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Kelvrin"), QStringLiteral("Kelvrin"))) {}

Defaults::Defaults(const QString& filePath)
    : _settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

bool Defaults::hasKey(const QString& key) const { return _settings->contains(key); }

namespace {

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (ok && std::isfinite(value))
        return value;
    return std::nullopt;
}

} // namespace

bool Defaults::boolForKey(const QString& key) const {
    const QString text = _settings->value(key).toString().trimmed().toLower();
    if (text == u"true" || text == u"yes")
        return true;
    const auto value = number(text);
    return value && *value != 0;
}

qint64 Defaults::integerForKey(const QString& key) const {
    const QString text = _settings->value(key).toString().trimmed();
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok)
        return whole;
    if (const auto value = number(text); value && std::abs(*value) < 9.2e18)
        return qint64(*value);
    if (text.toLower() == u"true" || text.toLower() == u"yes")
        return 1;
    return 0;
}

float Defaults::floatForKey(const QString& key) const {
    const auto value = number(_settings->value(key).toString());
    return value ? float(*value) : 0.0f;
}

std::optional<QString> Defaults::stringForKey(const QString& key) const {
    if (!hasKey(key))
        return std::nullopt;
    return _settings->value(key).toString();
}

void Defaults::setBool(bool value, const QString& key) { _settings->setValue(key, value); }

void Defaults::setInteger(qint64 value, const QString& key) { _settings->setValue(key, value); }

void Defaults::setFloat(float value, const QString& key) {
    // Written with enough digits that the same 32-bit float comes back.
    _settings->setValue(key, QString::number(value, 'g', 9));
}

void Defaults::setObject(const QString& value, const QString& key) {
    _settings->setValue(key, value);
}

bool Defaults::synchronize() {
    _settings->sync();
    return _settings->status() == QSettings::NoError;
}
