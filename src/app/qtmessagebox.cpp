#include "app/qtmessagebox.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>

MessageBoxService::Answer QtMessageBox::show(const std::string &text, const std::string &title,
                                             Buttons buttons, Icon icon)
{
    QMessageBox box(QApplication::activeWindow());
    box.setText(QString::fromStdString(text));
    box.setWindowTitle(QString::fromStdString(title));
    switch (icon) {
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    // A box asks for the user: the ordinary cursor over it, even in the middle of a wait.
    QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    const int result = box.exec();
    QGuiApplication::restoreOverrideCursor();
    if (result == QMessageBox::Yes)
        return Answer::Yes;
    if (result == QMessageBox::No)
        return Answer::No;
    if (result == QMessageBox::Ok)
        return Answer::Ok;
    // Cancel, or a box closed otherwise: its escape answer.
    switch (buttons) {
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::OkCancel:
        return Answer::Cancel;
    case Buttons::Ok:
        break;
    }
    return Answer::Ok;
}

void ProcessEnd::endProgram()
{
    std::fflush(nullptr);
    std::_Exit(1);
}
