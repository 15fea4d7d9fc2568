// vantor-icons FOLDER SIZE...: writes the window's icon as
// FOLDER/SIZExSIZE/apps/vantorscope.png for each size, the layout of the
// hicolor icon theme. Painting into an image needs no display.
#include <QDir>
#include <QString>
#include <cstdio>

#include "Icons.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vantor-icons FOLDER SIZE...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = QString(argv[i]).toInt();
        const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (size <= 0 || !QDir().mkpath(folder) || !vantor::icons::AppImage(size).save(folder + "/vantorscope.png")) {
            std::fprintf(stderr, "vantor-icons: cannot write the %s-pixel icon in %s\n", argv[i], qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
