#include "ShownEntries.h"

#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace {

QListWidgetItem *checklistItem(const QString &text)
{
    auto *item = new QListWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setData(kShownCheckRole, false);
    return item;
}

} // namespace

// Brings a list to `texts` in place, so that its selection and scroll
// position stay where the operator left them.
// Each entry says why it got its verdict: "Passed — "SMA:2/1.0" after 12 ms".
// The tested-command list is the one a keyboard and a screen reader reach,
// so its entries carry it as their description too.
void showEntries(QListWidget *list, const QStringList &texts, const QList<bool> &ticks,
                 const QStringList &why, bool describe)
{
    const QSignalBlocker quiet(list);
    while (list->count() > texts.size())
        delete list->takeItem(list->count() - 1);
    for (int row = 0; row < texts.size(); ++row) {
        QListWidgetItem *item = list->item(row);
        if (!item) {
            item = checklistItem(texts.at(row));
            list->addItem(item);
        } else if (item->text() != texts.at(row)) {
            item->setText(texts.at(row));
        }
        const bool ticked = ticks.value(row);
        if (item->data(kShownCheckRole).toBool() != ticked ||
            (item->checkState() == Qt::Checked) != ticked) {
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
            item->setData(kShownCheckRole, ticked);
        }
        if (item->toolTip() != why.value(row)) {
            item->setToolTip(why.value(row));
            if (describe)
                item->setData(Qt::AccessibleDescriptionRole, why.value(row));
        }
    }
}

void showLines(QPlainTextEdit *box, const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1Char('\n');
    if (box->toPlainText() != text)
        box->setPlainText(text);
}

void showText(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

bool showNote(QLabel *note, const QString &text, const QString &why)
{
    note->setVisible(!text.isEmpty());
    if (note->text() == text && note->toolTip() == why)
        return false;
    note->setText(text);
    note->setToolTip(why);
    note->setAccessibleName(text);
    note->setAccessibleDescription(why);
    return true;
}

void showPorts(QCompleter *completer, const QList<PresentPort> &ports)
{
    auto *model = static_cast<QStandardItemModel *>(completer->model());
    model->clear();
    for (const PresentPort &port : ports) {
        auto *item = new QStandardItem(port.summary());
        item->setData(port.location, Qt::UserRole);
        model->appendRow(item);
    }
}
