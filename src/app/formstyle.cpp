#include "app/formstyle.h"

#include <QFontDatabase>
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
