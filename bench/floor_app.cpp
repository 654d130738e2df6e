// The least a Qt widget program on X11 costs: one window shown and a 0.2 s timer that does
// nothing. The yardstick for Kelvrin's idle cost and its memory.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(325, 285);
    window.show();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start(200);
    (void)!write(STDOUT_FILENO, "ready\n", 6);
    return app.exec();
}
