#include "ComparisonWindow.h"

#include "WidgetLook.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

ComparisonWindow::ComparisonWindow(const QString &title, const QList<CheckChange> &changes,
                                   QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("CompareChecks"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Compare Checks"));

    auto *heading = new QLabel(title, this);
    auto *list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("changes"));
    list->setAccessibleName(QStringLiteral("Changes"));
    list->setRootIsDecorated(false);
    list->setColumnCount(5);
    list->setHeaderLabels({QStringLiteral("Change"), QStringLiteral("Of"),
                           QStringLiteral("Regression"), QStringLiteral("Before"),
                           QStringLiteral("After")});
    list->setWordWrap(false);
    for (const CheckChange &change : changes) {
        auto *item =
            new QTreeWidgetItem(list, {changeKindText(change.kind), change.subject,
                                       change.regression ? QStringLiteral("regression") : QString(),
                                       change.before, change.after});
        // Long answers and findings are cut in their columns: the whole
        // sentence is the row's tooltip, and what a screen reader reads.
        for (int column = 0; column < list->columnCount(); ++column)
            item->setToolTip(column, changeText(change));
        item->setData(0, Qt::AccessibleDescriptionRole, changeText(change));
    }
    if (changes.isEmpty())
        new QTreeWidgetItem(list, {QStringLiteral("nothing changed")});
    const int character = list->fontMetrics().horizontalAdvance(QLatin1Char('x'));
    for (int column = 0; column < 3; ++column)
        list->resizeColumnToContents(column);
    list->setColumnWidth(3, character * 45);
    heading->setBuddy(list);

    QPushButton *close =
        captionedButton(QStringLiteral("&Close"), QStringLiteral("CloseComparison"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(list, 1);
    layout->addLayout(buttons);
    resize(character * 150, list->fontMetrics().height() * 24);
}
