#pragma once

#include "RecordQueue.h"
#include "RecordStore.h"

#include <QAbstractTableModel>

// The check history as a table for a view, newest first: the first page of
// rows at once, further pages as the view scrolls to them, so that a
// database of any size opens in the time of one page. Checks still waiting
// in the bench's queue for the server come first, marked so.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        Id,
        Ended,
        Manufacturer,
        Model,
        SerialNumber,
        Revision,
        Port,
        Level1,
        WeightStream,
        Failed,
        ColumnCount
    };
    static constexpr int kPageRows = 200;

    explicit HistoryModel(QObject *parent = nullptr);

    // Reads the first page from `store` (nullptr: shows nothing). Returns
    // false with errorString() saying why when it cannot be read.
    bool setStore(RecordStore *store);
    // The queue whose waiting checks are shown with the store's (nullptr:
    // none); takes effect at the next reload.
    void setQueue(RecordQueue *queue) { m_queue = queue; }
    bool setFilter(const QString &filter);
    QString filter() const { return m_filter; }
    bool reload();
    QString errorString() const { return m_error; }

    const HistoryRow &historyRow(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    std::optional<HistoryRow> lastOnServer() const;

    RecordStore *m_store = nullptr;
    RecordQueue *m_queue = nullptr;
    QString m_filter;
    QList<HistoryRow> m_rows;
    bool m_complete = true;
    QString m_error;
};
