// Writes the program's icon as a hicolor icon theme tree for installation: a scalable SVG
// and PNGs at the sizes desktops ask for, all painted by the same code as the window icon.
// Usage: wavedial-icons OUTPUT_FOLDER ICON_NAME
#include "forms/appicon.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

bool writePng(const QString &folder, const QString &name, int size)
{
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
    if (!QDir().mkpath(dir))
        return false;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // A fixed 96 dpi, so that the files do not depend on the screen of whoever builds.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    QPainter p(&image);
    paintProgramIcon(p, size);
    p.end();
    return image.save(dir + '/' + name + ".png", "PNG");
}

bool writeSvg(const QString &folder, const QString &name)
{
    const QString dir = folder + "/scalable/apps";
    if (!QDir().mkpath(dir))
        return false;
    QSvgGenerator svg;
    svg.setFileName(dir + '/' + name + ".svg");
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(QStringLiteral("Wavedial"));
    svg.setDescription(QStringLiteral("A dial with a sine wave across its face"));
    QPainter p;
    if (!p.begin(&svg))
        return false;
    paintProgramIcon(p, 32);
    return p.end();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("usage: wavedial-icons OUTPUT_FOLDER ICON_NAME\n", stderr);
        return 2;
    }
    // Painting into images and an SVG file needs no display, nor an application object.
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    bool ok = writeSvg(folder, name);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        ok = writePng(folder, name, size) && ok;
    if (!ok) {
        std::fprintf(stderr, "wavedial-icons: cannot write the icons into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
