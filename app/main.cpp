// Entry point: the application object and the one main window.
#include "app/veltrix.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Veltrix window;
    window.showMaximized();
    return app.exec();
}
