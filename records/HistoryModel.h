#pragma once

#include "RecordStore.h"

class HistoryReader;

#include <QAbstractTableModel>

// The check history as a table for a view, newest first: the first page of
// rows, further pages as the view scrolls to them, so that a database of any
// size opens in the time of one page. The pages come from a HistoryReader,
// off the view's thread: the rows shown stay until the next page arrives,
// and an answer to a request that a newer one replaced is dropped.
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

    // Reads the first page through `reader` (nullptr: shows nothing).
    void setReader(HistoryReader *reader);
    void setFilter(const QString &filter);
    QString filter() const { return m_filter; }
    // Asks for the first page again. The rows shown stay until it comes,
    // unless they are of another database.
    enum class Rows { Keep, Drop };
    void reload(Rows shown = Rows::Keep);
    // Whether a page is asked for and has not come.
    bool isReading() const { return m_request != 0; }
    // Why the last page asked for could not be read; empty when it was.
    QString errorString() const { return m_error; }

    const HistoryRow &historyRow(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // A page came, or could not be read, or a reading began.
    void stateChanged();

private:
    void queuedRead(int request, const QList<HistoryRow> &rows);
    void pageRead(int request, const QList<HistoryRow> &rows);
    void pageFailed(int request, const QString &reason);
    std::optional<HistoryRow> lastOnServer() const;

    HistoryReader *m_reader = nullptr;
    int m_request = 0;        // the page asked for, 0 when none is
    bool m_appending = false; // the page asked for follows the rows shown
    QString m_filter;
    QList<HistoryRow> m_queued; // the bench's checks not yet on the server, shown first
    QList<HistoryRow> m_rows;
    bool m_complete = true;
    QString m_error;
};
