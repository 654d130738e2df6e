#pragma once

#include <QTranslator>
#include <memory>
#include <vector>

// The user's language for the whole application while it lives: the message table, the texts of
// the windows (compiled in) and Qt's own standard texts (from the Qt installation, when it has
// them). Whatever cannot be loaded stays English. Made before the first window, which takes its
// texts when it is built.
class Translators {
public:
    Translators();
    // Back to English.
    ~Translators();
    Translators(const Translators&) = delete;
    Translators& operator=(const Translators&) = delete;

private:
    void install(const QString& name, const QString& folder);

    std::vector<std::unique_ptr<QTranslator>> _installed;
};
