#include "accessiblebutton.h"

#include "imagebutton.h"
#include "labelbutton.h"

#include <QWidget>

namespace mok {

QStringList AccessiblePressable::actionNames() const
{
    return offered() ? QStringList{pressAction()} : QStringList{};
}

void AccessiblePressable::doAction(const QString &action)
{
    if (action == pressAction() && offered())
        press();
}

bool AccessiblePressable::offered() const
{
    return widget()->isEnabled() && widget()->isVisible();
}

QStringList AccessiblePressable::keyBindingsForAction(const QString &action) const
{
    return action == pressAction() ? QStringList{QStringLiteral("Space")} : QStringList{};
}

namespace {

class AccessibleButton : public AccessiblePressable {
public:
    explicit AccessibleButton(QWidget *button) : AccessiblePressable(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return widget()->property("text").toString();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (const auto *image = qobject_cast<const ImageButton *>(widget()))
            state.pressed = image->isPressed();
        return state;
    }

protected:
    void press() override { QMetaObject::invokeMethod(widget(), "click"); }
};

QAccessibleInterface *createAccessibleButton(const QString &className, QObject *object)
{
    if (className == QLatin1String(ImageButton::staticMetaObject.className()) ||
        className == QLatin1String(LabelButton::staticMetaObject.className()))
        return new AccessibleButton(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

void installAccessibleButtons()
{
    static const bool installed = [] {
        QAccessible::installFactory(&createAccessibleButton);
        return true;
    }();
    (void)installed;
}

} // namespace mok
