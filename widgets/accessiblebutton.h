#pragma once

#include <QAccessibleWidget>

namespace mok {

// A control with one press action, as assistive technology sees it. The
// action is offered only while the control is shown and enabled, and does at
// once what a click or Space does (press()), never through a delayed
// animated click.
class AccessiblePressable : public QAccessibleWidget {
public:
    AccessiblePressable(QWidget *control, QAccessible::Role role) : QAccessibleWidget(control, role)
    {
    }

    QStringList actionNames() const override;
    void doAction(const QString &action) override;
    QStringList keyBindingsForAction(const QString &action) const override;

protected:
    virtual void press() = 0;
    bool offered() const;
};

// Makes the game's own buttons (ImageButton, LabelButton) push buttons to
// assistive technology: named by their text and described by their tooltip
// (or accessible description), with the press action of a click. Safe to
// call any number of times.
void installAccessibleButtons();

} // namespace mok
