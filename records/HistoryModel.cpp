#include "HistoryModel.h"

#include "HistoryExport.h"

HistoryModel::HistoryModel(QObject *parent) : QAbstractTableModel(parent) {}

bool HistoryModel::setStore(RecordStore *store)
{
    m_store = store;
    return reload();
}

bool HistoryModel::setFilter(const QString &filter)
{
    m_filter = filter;
    return reload();
}

bool HistoryModel::reload()
{
    beginResetModel();
    m_rows.clear();
    m_complete = true;
    m_error.clear();
    bool read = true;
    if (m_store && m_queue) {
        if (const std::optional<QList<HistoryRow>> queued = m_queue->history(m_filter))
            m_rows = *queued;
        else
            m_error = m_queue->errorString();
    }
    if (m_store) {
        const std::optional<QList<HistoryRow>> page = m_store->history(m_filter, kPageRows);
        if (page) {
            m_rows += *page;
            m_complete = page->size() < kPageRows;
        } else {
            m_error = m_store->errorString();
            read = false;
        }
    }
    endResetModel();
    return read;
}

bool HistoryModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_complete && m_store;
}

void HistoryModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    const std::optional<QList<HistoryRow>> page =
        m_store->history(m_filter, kPageRows, lastOnServer());
    if (!page) {
        m_error = m_store->errorString();
        m_complete = true; // not again and again while the view scrolls
        return;
    }
    m_complete = page->size() < kPageRows;
    if (page->isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + page->size() - 1));
    m_rows += *page;
    endInsertRows();
}

std::optional<HistoryRow> HistoryModel::lastOnServer() const
{
    if (m_rows.isEmpty() || m_rows.last().queued)
        return std::nullopt;
    return m_rows.last();
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return historyFields(m_rows.at(index.row())).value(index.column());
    if (role == Qt::ToolTipRole && m_rows.at(index.row()).queued)
        return QStringLiteral("Not yet on the server: kept on this bench until the server takes "
                              "it");
    if (role == Qt::TextAlignmentRole && (index.column() == Id || index.column() == Failed))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return historyHeader().value(section);
}
