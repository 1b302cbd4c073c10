#include "mainwindow/accessiblevalue.h"

#include "mainwindow/shapes.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>

namespace {

constexpr char ValueProperty[] = "accessibleValue";

// Qt's interface of a widget, with a value.
class ValueInterface : public QAccessibleWidget
{
public:
    using QAccessibleWidget::QAccessibleWidget;

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return widget()->property(ValueProperty).toString();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *valueInterface(const QString &, QObject *object)
{
    if (auto *label = qobject_cast<StateLabel *>(object))
        return new ValueInterface(label, QAccessible::StaticText);
    if (auto *lamp = qobject_cast<CircleShape *>(object))
        return new ValueInterface(lamp, QAccessible::Indicator);
    return nullptr;
}

} // namespace

StateLabel::StateLabel(QWidget *parent) : QLabel(parent)
{
    useAccessibleValues();
}

void setAccessibleValue(QWidget *display, const QString &value)
{
    display->setProperty(ValueProperty, value);
    QAccessibleValueChangeEvent event(display, value);
    QAccessible::updateAccessibility(&event);
}

void useAccessibleValues()
{
    // Installed once, however often asked; Qt asks it before its own.
    QAccessible::installFactory(valueInterface);
}
