#include "forms/formstyle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

QFont formFont(qreal points, bool bold)
{
    QFont f;
    if (QFontDatabase::families().contains(QStringLiteral("MS Sans Serif")))
        f.setFamily(QStringLiteral("MS Sans Serif"));
    else
        f.setStyleHint(QFont::SansSerif);
    f.setFamilies({f.family()});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QLabel *formLabel(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(geometry);
    return l;
}

QPushButton *formButton(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    return b;
}
