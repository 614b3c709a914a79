#include "TrafficModel.h"

#include <utility>

namespace {
constexpr int kBatchMs = 50;
}

TrafficModel::TrafficModel(const TrafficLog &log, QObject *parent)
    : QAbstractTableModel(parent), m_log(log), m_rows(int(log.size()))
{
    m_batch.setSingleShot(true);
    m_batch.setInterval(kBatchMs);
    connect(&m_batch, &QTimer::timeout, this, &TrafficModel::catchUp);
    connect(&log, &TrafficLog::appended, this, [this] {
        if (!m_batch.isActive())
            m_batch.start();
    });
    connect(&log, &TrafficLog::entryChanged, this, [this](qsizetype row) {
        if (row < m_rows)
            emit dataChanged(index(int(row), 0), index(int(row), ColumnCount - 1));
    });
    // Entries go from the middle (the budget) or the end (lines joined as
    // discarded); the rows shown are always the first rows of the log.
    connect(&log, &TrafficLog::aboutToDrop, this, [this](qsizetype first, qsizetype last) {
        m_dropping = first < m_rows;
        if (m_dropping)
            beginRemoveRows({}, int(first), int(qMin<qsizetype>(last, m_rows - 1)));
    });
    connect(&log, &TrafficLog::dropped, this, [this](qsizetype first, qsizetype last) {
        if (!std::exchange(m_dropping, false))
            return;
        m_rows -= int(qMin<qsizetype>(last, m_rows - 1) - first + 1);
        endRemoveRows();
    });
    connect(&log, &TrafficLog::cleared, this, [this] {
        beginResetModel();
        m_rows = 0;
        endResetModel();
    });
}

void TrafficModel::catchUp()
{
    m_batch.stop();
    const int total = int(m_log.size());
    if (total <= m_rows)
        return;
    beginInsertRows({}, m_rows, total - 1);
    m_rows = total;
    endInsertRows();
    emit rowsAppended();
}

void TrafficModel::setShowHex(bool hex)
{
    if (hex == m_hex)
        return;
    m_hex = hex;
    if (m_rows > 0)
        emit dataChanged(index(0, Bytes), index(m_rows - 1, Bytes));
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const TrafficEntry &entry = m_log.at(index.row());
    if (role == Qt::TextAlignmentRole && index.column() == Time)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case Time:
        return QString::number(entry.ms);
    case Direction:
        return TrafficLog::direction(entry.kind);
    case Bytes:
        return m_hex ? TrafficLog::hex(entry.bytes) : TrafficLog::printable(entry.bytes);
    case Note:
        return TrafficLog::note(entry);
    default:
        return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Time:
        return QStringLiteral("ms");
    case Direction:
        return QStringLiteral("Direction");
    case Bytes:
        return QStringLiteral("Bytes");
    case Note:
        return QStringLiteral("What became of them");
    default:
        return {};
    }
}
