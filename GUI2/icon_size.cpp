// Build tool: the wizard's icon at another size, for the desktop's icon theme, made
// with Qt's own scaling so that the build needs no image program.
//   icon_size SOURCE.png SIZE OUT.png
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: icon_size SOURCE.png SIZE OUT.png\n", stderr);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "icon_size: cannot read %s\n", argv[1]);
        return 1;
    }
    const int size = std::atoi(argv[2]);
    if (size <= 0 || size > source.width()) {
        // Drawn larger than it was made, the icon would only be blurred.
        std::fprintf(stderr, "icon_size: %s is no size between 1 and %d\n", argv[2],
                     source.width());
        return 2;
    }
    const QImage icon = source.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!icon.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "icon_size: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
