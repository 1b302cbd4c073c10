#pragma once

#include <QLabel>

class QString;
class QWidget;

// A label whose text is a state, the output's ON or OFF. Qt gives a label no accessible
// value; this one has the one setAccessibleValue gives it.
class StateLabel : public QLabel
{
    Q_OBJECT

public:
    explicit StateLabel(QWidget *parent);
};

// What a screen reader reads as the value of a StateLabel or a CircleShape: the state it
// shows now, under a name that says what it is. Screen readers are told of the change.
void setAccessibleValue(QWidget *display, const QString &value);

// Has Qt build the accessible interfaces of those controls with their values. Their
// constructors call it, before anything can ask for an interface, which Qt keeps.
void useAccessibleValues();
