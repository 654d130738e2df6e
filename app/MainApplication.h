#pragma once

#include <QApplication>

// The application object.
class MainApplication : public QApplication {
    Q_OBJECT
public:
    MainApplication(int& argc, char** argv);

    static MainApplication* sharedApplication();
};
