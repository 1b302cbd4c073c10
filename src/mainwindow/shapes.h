#pragma once

#include <QColor>
#include <QWidget>

// The output lamp: an opaque filled circle. Screen readers read its accessible value
// (setAccessibleValue).
class CircleShape : public QWidget
{
    Q_OBJECT

public:
    explicit CircleShape(QWidget *parent);
    QColor fillColor() const { return m_fill; }
    void setFillColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill = Qt::red;
};

// A one-pixel horizontal line; two of them, grey over white, make an engraved rule.
class LineShape : public QWidget
{
    Q_OBJECT

public:
    LineShape(const QColor &color, QWidget *parent);
    QColor lineColor() const { return m_color; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
