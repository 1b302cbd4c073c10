#pragma once

#include <QFont>
#include <QRect>

// The windows are laid out in twips, as they were designed: 15 twips to a pixel at 96
// dots per inch, so that the proportions stay exact; Qt scales for dense screens.
constexpr int twips(int t)
{
    return (t + 7) / 15;
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return {twips(left), twips(top), twips(width), twips(height)};
}

class QLabel;
class QPushButton;
class QString;
class QWidget;

// A label of a form: plain text, from its top left corner, at `geometry` (pixels).
QLabel *formLabel(QWidget *parent, const char *name, const QString &text, QRect geometry);
// A command button of a form at `geometry` (pixels).
QPushButton *formButton(QWidget *parent, const char *name, const QString &caption, QRect geometry);

// The forms' font: MS Sans Serif where it is installed, the system's sans-serif face
// otherwise.
QFont formFont(qreal points, bool bold = false);
