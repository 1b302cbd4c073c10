#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

// Runs `inspect` on the next modal dialog once it is open, then closes it, so that a test
// can go through code that opens one with exec().
inline void whenModalOpens(std::function<void(QDialog *)> inspect = {})
{
    QTimer::singleShot(0, [inspect] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (inspect)
            inspect(dialog);
        dialog->reject();
    });
}
