#include <QApplication>

#include <cstdio>
#include <cstring>

#include "app/MainWindow.h"

int main(int argc, char *argv[])
{
    // Answered before the application object exists, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("RozivOze %s\n", ROZIVOZE_VERSION);
        return 0;
    }
    QApplication application(argc, argv);
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = QApplication::exec();
    }
    return result;
}
