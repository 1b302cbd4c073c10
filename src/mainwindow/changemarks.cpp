#include "mainwindow/changemarks.h"

#include "mainwindow/entryfield.h"
#include "mainwindow/mainformui.h"

#include <QAction>
#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QRadioButton>

#include <cstdlib>

const QColor ChangeMarks::ChangeColor(255, 128, 128);

namespace {

void setBackground(QWidget *w, QPalette::ColorRole role, const QColor &color)
{
    QPalette p = w->palette();
    p.setColor(role, color);
    w->setPalette(p);
}

QColor background(const QWidget *w, QPalette::ColorRole role)
{
    return w->palette().color(QPalette::Active, role);
}

} // namespace

QColor ChangeMarks::WindowBackground()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
}

void ChangeMarks::markField(QWidget *field, bool marked)
{
    setBackground(field, QPalette::Base, marked ? ChangeColor : WindowBackground());
}

bool ChangeMarks::isFieldMarked(const QWidget *field)
{
    return background(field, QPalette::Base) == ChangeColor;
}

void ChangeMarks::SetGroupMark(int16_t code)
{
    const QColor color = code < 0 ? ChangeColor : NormalBackColor;
    auto paint = [&color](QFrame *frame, auto &options) {
        setBackground(frame, QPalette::Window, color);
        // Buttons fill their background from the Button role, not the Window role.
        for (QRadioButton *o : options) {
            setBackground(o, QPalette::Window, color);
            setBackground(o, QPalette::Button, color);
        }
    };
    switch (std::abs(code)) {
    case 3:
        paint(m_ui.Frame3, m_ui.OutInto);
        break;
    case 4:
        paint(m_ui.Frame4, m_ui.WaveFunction);
        break;
    case 5:
        paint(m_ui.Frame5, m_ui.FreqMult);
        break;
    default:
        break;
    }
}

void ChangeMarks::ReleaseApplyIfClean(int16_t code)
{
    // In item-code order; a group is judged by its frame alone.
    const struct
    {
        const QWidget *control;
        QPalette::ColorRole role;
    } items[] = {
        {m_ui.Amplitude, QPalette::Base}, {m_ui.Offset, QPalette::Base},
        {m_ui.Frame3, QPalette::Window},  {m_ui.Frame4, QPalette::Window},
        {m_ui.Frequency, QPalette::Base}, {m_ui.Frame5, QPalette::Window},
        {m_ui.Symmetry, QPalette::Base},
    };
    for (int16_t item = 1; item <= 7; ++item) {
        const auto &i = items[item - 1];
        if (item != code && background(i.control, i.role) == ChangeColor)
            return;
    }
    UpdateCommandStates(-1);
}

void ChangeMarks::UpdateCommandStates(int16_t code)
{
    const bool enabled = code > 0;
    const int magnitude = std::abs(code);
    if (magnitude > 1) {
        m_ui.Menu_SaveSettings->setEnabled(enabled);
        m_ui.Button_SaveSettings->setEnabled(enabled);
    }
    if (magnitude == 1 || magnitude == 3)
        m_ui.Button_Apply->setEnabled(enabled);
}

void ChangeMarks::ClearChangeMarks()
{
    markField(m_ui.Amplitude, false);
    markField(m_ui.Offset, false);
    SetGroupMark(3);
    SetGroupMark(4);
    markField(m_ui.Frequency, false);
    SetGroupMark(5);
    markField(m_ui.Symmetry, false);
}
