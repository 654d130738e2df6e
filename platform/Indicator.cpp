#include "platform/Indicator.h"

namespace {

std::unique_ptr<Indicator::Backend>& installed() {
    static std::unique_ptr<Indicator::Backend> backend = std::make_unique<Indicator::Backend>();
    return backend;
}

} // namespace

bool Indicator::show(const QList<Item>& items, std::function<void(const QString& name)> chosen,
                     std::function<void()> opened) {
    return installed()->show(items, std::move(chosen), std::move(opened));
}

void Indicator::installBackend(std::unique_ptr<Backend> backend) {
    installed() = backend ? std::move(backend) : std::make_unique<Backend>();
}
