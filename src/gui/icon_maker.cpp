// Build-time tool: paints the program's icon in every installed size into
// DIR/hicolor/NxN/apps/kiv.png.
#include <QDir>
#include <cstdio>

#include "gui/app_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    for (int size : kiv::kAppIconSizes) {
        const QString dir =
            QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(dir) ||
            !kiv::AppIconImage(size).save(dir + QStringLiteral("/kiv.png"))) {
            std::fprintf(stderr, "%s: cannot write the %d px icon into %s\n", argv[0], size,
                         qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
