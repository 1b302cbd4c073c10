#include "forms/appicon.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

void paintProgramIcon(QPainter &p, double size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // Draw on a 32-unit grid; every size scales the same drawing.
    p.scale(size / 32.0, size / 32.0);

    // The dial: a dark bezel around a lit face.
    QRadialGradient face(QPointF(12, 11), 20);
    face.setColorAt(0, QColor(250, 252, 255));
    face.setColorAt(1, QColor(170, 190, 215));
    p.setPen(QPen(QColor(40, 55, 80), 2.0));
    p.setBrush(face);
    p.drawEllipse(QRectF(2, 2, 28, 28));

    // Tick marks around the upper part of the rim, as on a knob's scale.
    p.setPen(QPen(QColor(40, 55, 80), 1.2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i <= 6; ++i) {
        const double a = std::numbers::pi * (1.0 + i / 6.0);
        const QPointF dir(std::cos(a), std::sin(a));
        p.drawLine(QPointF(16, 16) + dir * 10.5, QPointF(16, 16) + dir * 12.5);
    }

    // One period of a sine across the face.
    QPainterPath wave;
    for (int i = 0; i <= 40; ++i) {
        const double x = 6 + 20.0 * i / 40;
        const double y = 18 - 6 * std::sin(2 * std::numbers::pi * i / 40);
        if (i == 0)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(200, 40, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(wave);
    p.restore();
}

QPixmap programIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintProgramIcon(p, size);
    p.end();
    return pixmap;
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(programIconPixmap(size));
    return icon;
}
