#pragma once

#include <QFont>
#include <QRect>
#include <QStringList>

#include <vector>

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
class QWidget;

// A label of a form: plain text, from its top left corner, at `geometry` (pixels).
QLabel *formLabel(QWidget *parent, const char *name, const QString &text, QRect geometry);
// A command button of a form at `geometry` (pixels).
QPushButton *formButton(QWidget *parent, const char *name, const QString &caption, QRect geometry);

// The forms' font: MS Sans Serif where it is installed, the system's sans-serif face
// otherwise.
QFont formFont(qreal points, bool bold = false);

// A control of a form and every text it must show whole: its captions, or the longest
// values a field holds.
struct ShownTexts
{
    QWidget *control;
    QStringList texts;
};

// The forms keep the twips sizes they were drawn with, but not the face they were drawn
// for: a platform's may be wider. Gives the controls one size, each in its own face and
// weight: the largest, up to `points`, at which every control shows each of its texts
// inside the room its style leaves for text (all of a label; a field's inside its frame
// and margins; an option's beside its circle; a button's inside its bevel and margins).
void fitFonts(qreal points, const std::vector<ShownTexts> &controls);
