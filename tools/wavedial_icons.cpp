// Writes the program's icon as a hicolor icon theme tree for installation: a scalable SVG
// and PNGs at the sizes desktops ask for, and a Windows .ico for the program file's
// resources, all painted by the same code as the window icon.
// Usage: wavedial-icons OUTPUT_FOLDER ICON_NAME, or wavedial-icons --ico FILE
#include "forms/appicon.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <QtEndian>

#include <cstdio>
#include <iterator>
#include <string_view>

namespace {

QImage paintedIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // A fixed 96 dpi, so that the files do not depend on the screen of whoever builds.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    QPainter p(&image);
    paintProgramIcon(p, size);
    p.end();
    return image;
}

bool writePng(const QString &folder, const QString &name, int size)
{
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
    return QDir().mkpath(dir) && paintedIcon(size).save(dir + '/' + name + ".png", "PNG");
}

// An .ico of PNG images (Windows Vista and later read them), small to large: the shell
// picks the size it shows in the Start menu, the title bar and the Apps list.
bool writeIco(const QString &path)
{
    const int sizes[] = {16, 24, 32, 48, 64, 256};
    constexpr int count = static_cast<int>(std::size(sizes));
    QByteArray header(6 + 16 * count, '\0');
    QByteArray images;
    auto put16 = [&](int at, int v) { qToLittleEndian<quint16>(quint16(v), header.data() + at); };
    auto put32 = [&](int at, qsizetype v) { qToLittleEndian<quint32>(quint32(v), header.data() + at); };
    put16(2, 1); // type: icon
    put16(4, count);
    for (int i = 0; i < count; ++i) {
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !paintedIcon(sizes[i]).save(&buffer, "PNG"))
            return false;
        const int entry = 6 + 16 * i;
        header[entry] = header[entry + 1] = char(sizes[i] == 256 ? 0 : sizes[i]); // 0 is 256
        put16(entry + 4, 1);  // planes
        put16(entry + 6, 32); // bits per pixel
        put32(entry + 8, png.size());
        put32(entry + 12, header.size() + images.size());
        images += png;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header + images) == header.size() + images.size() &&
           file.flush();
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
        std::fputs("usage: wavedial-icons OUTPUT_FOLDER ICON_NAME\n"
                   "       wavedial-icons --ico FILE\n",
                   stderr);
        return 2;
    }
    // Painting into images and an SVG file needs no display, nor an application object.
    if (std::string_view(argv[1]) == "--ico") {
        if (writeIco(QString::fromLocal8Bit(argv[2])))
            return 0;
        std::fprintf(stderr, "wavedial-icons: cannot write the icon %s\n", argv[2]);
        return 1;
    }
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
