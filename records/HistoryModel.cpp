#include "HistoryModel.h"

#include "HistoryExport.h"
#include "HistoryReader.h"

HistoryModel::HistoryModel(QObject *parent) : QAbstractTableModel(parent) {}

void HistoryModel::setReader(HistoryReader *reader)
{
    if (m_reader)
        disconnect(m_reader, nullptr, this, nullptr);
    m_reader = reader;
    if (m_reader) {
        connect(m_reader, &HistoryReader::queuedRead, this, &HistoryModel::queuedRead);
        connect(m_reader, &HistoryReader::pageRead, this, &HistoryModel::pageRead);
        connect(m_reader, &HistoryReader::failed, this, &HistoryModel::pageFailed);
    }
    reload();
}

void HistoryModel::setFilter(const QString &filter)
{
    m_filter = filter;
    reload();
}

void HistoryModel::reload(Rows shown)
{
    m_error.clear();
    m_appending = false;
    if (!m_reader || shown == Rows::Drop) {
        beginResetModel();
        m_rows.clear();
        m_complete = true;
        endResetModel();
    }
    m_request = m_reader ? m_reader->readPage(m_filter, kPageRows) : 0;
    emit stateChanged();
}

void HistoryModel::queuedRead(int request, const QList<HistoryRow> &rows)
{
    if (request == m_request)
        m_queued = rows;
}

void HistoryModel::pageRead(int request, const QList<HistoryRow> &rows)
{
    if (request != m_request)
        return;
    m_request = 0;
    m_complete = rows.size() < kPageRows;
    if (m_appending) {
        if (!rows.isEmpty()) {
            beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
            m_rows += rows;
            endInsertRows();
        }
    } else {
        beginResetModel();
        m_rows = m_queued + rows;
        endResetModel();
    }
    emit stateChanged();
}

void HistoryModel::pageFailed(int request, const QString &reason)
{
    if (request != m_request)
        return;
    m_request = 0;
    m_error = reason;
    m_complete = true; // not again and again while the view scrolls
    if (!m_appending) {
        // Rows of another database, or a filter they do not match, would
        // mislead; the bench's own waiting checks are known all the same.
        beginResetModel();
        m_rows = m_queued;
        endResetModel();
    }
    emit stateChanged();
}

bool HistoryModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_complete && m_reader && !isReading();
}

void HistoryModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    m_appending = true;
    m_request = m_reader->readPage(m_filter, kPageRows, lastOnServer());
    emit stateChanged();
}

// The next page follows the last row from the server; the queued rows come
// before them all.
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
