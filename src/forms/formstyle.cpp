#include "forms/formstyle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

QFont formFont(qreal points, bool bold)
{
    // The forms were laid out for MS Sans Serif. Windows has it as a bitmap font, which
    // does not scale to the larger captions; its TrueType face of the same design and
    // metrics, Microsoft Sans Serif, does, so it comes first.
    QFont f;
    const QStringList installed = QFontDatabase::families();
    f.setStyleHint(QFont::SansSerif);
    for (const char *family : {"Microsoft Sans Serif", "MS Sans Serif"}) {
        if (installed.contains(QLatin1String(family))) {
            f.setFamily(QLatin1String(family));
            break;
        }
    }
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
