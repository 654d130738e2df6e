#pragma once

#include <QByteArray>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

// Environment variables set (or, given no value, unset) while it lives, as they were afterwards.
class ScopedEnvironment {
public:
    using Variable = std::pair<const char*, const char*>;

    ScopedEnvironment(std::initializer_list<Variable> variables) {
        for (const auto& [name, value] : variables) {
            _saved.emplace_back(name, qEnvironmentVariableIsSet(name)
                                          ? std::optional<QByteArray>(qgetenv(name))
                                          : std::nullopt);
            set(name, value ? std::optional<QByteArray>(value) : std::nullopt);
        }
    }
    ~ScopedEnvironment() {
        for (auto saved = _saved.rbegin(); saved != _saved.rend(); ++saved)
            set(saved->first, saved->second);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    static void set(const char* name, const std::optional<QByteArray>& value) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }

    std::vector<std::pair<const char*, std::optional<QByteArray>>> _saved;
};
