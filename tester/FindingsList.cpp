#include "FindingsList.h"

#include <QTreeWidget>

void setUpFindingsList(QTreeWidget *list)
{
    list->setObjectName(QStringLiteral("findings"));
    list->setColumnCount(4);
    list->setHeaderLabels({QStringLiteral("Severity"), QStringLiteral("Code"),
                           QStringLiteral("Finding"), QStringLiteral("Evidence")});
    list->setRootIsDecorated(false);
    list->setWordWrap(false);
    list->setAccessibleName(QStringLiteral("Findings"));
}

void showFindings(QTreeWidget *list, const QList<Finding> &findings)
{
    list->clear();
    for (const Finding &finding : findings) {
        auto *item = new QTreeWidgetItem(list);
        item->setText(0, severityText(finding.severity));
        item->setText(1, finding.code);
        item->setText(2, countedMessage(finding));
        item->setText(3, TrafficLog::printable(finding.evidence));
        item->setToolTip(2, countedMessage(finding));
    }
    for (int column = 0; column < 3; ++column)
        list->resizeColumnToContents(column);
}
