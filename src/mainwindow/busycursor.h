#pragma once

#include <QCursor>
#include <QGuiApplication>

// The busy cursor for as long as it lives. The waits on the bus keep the window
// responsive, so without it a read-back of several seconds looks like a frozen window.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
