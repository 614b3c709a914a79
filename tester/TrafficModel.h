#pragma once

#include "TrafficLog.h"

#include <QAbstractTableModel>
#include <QTimer>

// The traffic log as a table for a view: time, direction, bytes (printable
// or hex) and what became of them. New entries reach the view in batches, so
// that a scale flooding the line cannot flood the view with row inserts;
// entries the log drops leave the view at once.
class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Direction, Bytes, Note, ColumnCount };

    explicit TrafficModel(const TrafficLog &log, QObject *parent = nullptr);

    void setShowHex(bool hex);
    bool showHex() const { return m_hex; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Shows every entry logged so far at once, without waiting for the batch.
    void catchUp();

signals:
    // Rows were added at the end.
    void rowsAppended();

private:
    const TrafficLog &m_log;
    QTimer m_batch;
    int m_rows = 0; // the log's first m_rows entries are shown
    bool m_hex = false;
    bool m_dropping = false; // rows are being removed
};
