#include "app/qtshell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

void QtShell::open(const std::string &link)
{
    // Tolerant parsing: the mail link carries its subject and body unescaped. A desktop
    // without a mail program or browser is not an error worth a box, so the result is
    // not looked at.
    QDesktopServices::openUrl(QUrl(QString::fromStdString(link), QUrl::TolerantMode));
}
