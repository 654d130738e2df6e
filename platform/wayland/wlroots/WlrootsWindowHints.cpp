#include "platform/wayland/wlroots/WlrootsWindowHints.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

constexpr char kHeldName[] = "kelvrin-size-held-for-map";

// sway floats a new xdg toplevel whose minimum size equals its maximum size when it maps it (a
// dialog's shape), and tiles any other; it never looks again, so a floating window may be
// resized afterwards. The window is held at its size until its first frame has gone out with
// the map, then given back its own limits: the compositor reads the new limits with the next
// frame, the window floating by then.
class SizeHeldForMap : public QObject {
public:
    explicit SizeHeldForMap(QWidget* window)
        : QObject(window), _window(window), _minimum(window->minimumSize()),
          _maximum(window->maximumSize()) {
        setObjectName(QLatin1String(kHeldName));
        window->setFixedSize(window->size());
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        // The first paint's buffer is committed as the paint ends; a window hidden before it
        // painted needs its limits back all the same.
        if (event->type() == QEvent::Paint || event->type() == QEvent::Hide) {
            _window->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                _window->setMinimumSize(_minimum);
                _window->setMaximumSize(_maximum);
                deleteLater();
            });
        }
        return false;
    }

private:
    QWidget* _window;
    QSize _minimum;
    QSize _maximum;
};

} // namespace

void WlrootsWindowHints::prepareToShow(QWidget* window, bool) {
    if (!window->findChild<QObject*>(QLatin1String(kHeldName), Qt::FindDirectChildrenOnly))
        new SizeHeldForMap(window);
}
