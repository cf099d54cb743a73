// Saves a picture of one X window, named by its id, into a PNG: the Xvfb smoke test's camera.
//   halvex-grab-window <window id> <file.png>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <window id> <file.png>\n", argv[0]);
        return 2;
    }
    bool ok = false;
    const WId window = QString::fromLatin1(argv[1]).toULongLong(&ok, 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!ok || !screen) {
        std::fprintf(stderr, "no window id or no screen\n");
        return 2;
    }
    const QPixmap picture = screen->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "could not grab window %s\n", argv[1]);
        return 1;
    }
    std::printf("%dx%d\n", picture.width(), picture.height());
    return 0;
}
