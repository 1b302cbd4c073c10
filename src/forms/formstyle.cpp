#include "forms/formstyle.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>

#include <cmath>

namespace {

// Fine enough that no text is made smaller than it must be.
constexpr qreal PointStep = 0.25;
// A box too small for its text even at this size gets it at this size, cut: any smaller
// would be unreadable anyway.
constexpr qreal SmallestPoints = 4;

// Where a control draws its text, and how it reads an '&'.
struct TextRoom
{
    QSize size;
    int flags = 0;
};

TextRoom fieldRoom(const QLineEdit *field)
{
    QStyleOptionFrame frame;
    frame.initFrom(field);
    frame.rect = field->contentsRect();
    const QStyle *style = field->style();
    frame.lineWidth = field->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, field) : 0;
    frame.state |= QStyle::State_Sunken;
    const QRect r = style->subElementRect(QStyle::SE_LineEditContents, &frame, field)
                        .marginsRemoved(field->textMargins());
    // QLineEdit keeps two pixels of margin on either side and counts a column for the
    // caret in the text's width; a text any wider scrolls, and loses its first figures.
    constexpr int Margin = 2;
    return {{r.width() - 2 * Margin - 1, r.height()}};
}

TextRoom buttonRoom(const QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QStyle *style = button->style();
    if (qobject_cast<const QRadioButton *>(button)) {
        // The style's size hint leaves two pixels on either side for the focus frame.
        const QRect r = style->subElementRect(QStyle::SE_RadioButtonContents, &option, button);
        return {{r.width() - 4, r.height()}, Qt::TextShowMnemonic};
    }
    const QRect r = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int margins = style->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
    return {{r.width() - margins, r.height()}, Qt::TextShowMnemonic};
}

TextRoom textRoom(const QWidget *control)
{
    if (const auto *field = qobject_cast<const QLineEdit *>(control))
        return fieldRoom(field);
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return buttonRoom(button);
    return {control->contentsRect().size()};
}

bool allShown(const std::vector<ShownTexts> &controls, qreal points)
{
    for (const ShownTexts &c : controls) {
        QFont font = c.control->font();
        font.setPointSizeF(points);
        const QFontMetricsF metrics(font, c.control);
        const TextRoom room = textRoom(c.control);
        for (const QString &text : c.texts) {
            const QSizeF size = metrics.size(room.flags, text);
            if (std::ceil(size.width()) > room.size.width() ||
                std::ceil(size.height()) > room.size.height())
                return false;
        }
    }
    return true;
}

} // namespace

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

void fitFonts(qreal points, const std::vector<ShownTexts> &controls)
{
    while (points > SmallestPoints && !allShown(controls, points))
        points -= PointStep;
    for (const ShownTexts &c : controls) {
        QFont font = c.control->font();
        font.setPointSizeF(points);
        c.control->setFont(font);
    }
}
