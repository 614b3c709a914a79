#include "TesterAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>

namespace {

// A drop-down list that has an accessible name of its own is announced by
// it, with the chosen entry as its value. (Qt names a drop-down list by its
// current entry on Linux, which tells a screen-reader user what it holds but
// not what it is for.)
class NamedComboBoxAccessible : public QAccessibleWidget
{
public:
    explicit NamedComboBoxAccessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox)
    {
        addControllingSignal(QStringLiteral("currentIndexChanged(int)"));
    }
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return box()->currentText();
        return QAccessibleWidget::text(kind);
    }
    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction())
            box()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

// The tester window is the application's main window: announce it as such
// (a frame) rather than as an anonymous pane.
QAccessibleInterface *testerAccessible(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("smaForm"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String("QComboBox") &&
        !static_cast<QWidget *>(object)->accessibleName().isEmpty())
        return new NamedComboBoxAccessible(static_cast<QComboBox *>(object));
    return nullptr;
}

} // namespace

void installTesterAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(testerAccessible);
        return true;
    }();
    Q_UNUSED(installed);
}
