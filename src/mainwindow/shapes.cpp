#include "mainwindow/shapes.h"

#include "mainwindow/accessiblevalue.h"

#include <QPainter>

CircleShape::CircleShape(QWidget *parent) : QWidget(parent)
{
    useAccessibleValues();
}

void CircleShape::setFillColor(const QColor &color)
{
    m_fill = color;
    update();
}

void CircleShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(m_fill);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

LineShape::LineShape(const QColor &color, QWidget *parent) : QWidget(parent), m_color(color)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_color);
}
