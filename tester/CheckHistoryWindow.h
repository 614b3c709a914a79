#pragma once

#include "CheckRecord.h"
#include "RecordStore.h"

#include <QTimer>
#include <QWidget>

class CheckRecorder;
class HistoryModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The "Check History" window: every recorded check, newest first, one row
// each, narrowed by a filter as the operator types. Opening a row shows
// that check (its report to reprint, its serial record, its findings);
// selecting two offers "Compare"; "Export CSV..." saves the rows the filter
// keeps. The database is the window's setting, kept with QSettings; SMA_DB
// comes before it, and without either the default file is used. The window reads the database
// through the tester's recorder, so that both always use the same one.
class CheckHistoryWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CheckHistoryWindow(CheckRecorder &recorder, QWidget *parent = nullptr);

    // The database the tester starts with: empty for SMA_DB, which a bench
    // or a line sets for all its programs, when it is set; else the
    // window's setting as saved (empty again for the default file).
    static QString startingDatabase();
    static void saveDatabase(const QString &location);

    // Reads the checks again, e.g. after one was recorded.
    void refresh();

protected:
    // Seams for tests: what leaves the window.
    virtual QString askExportFile();
    virtual void showFailure(const QString &text, const QString &detail);
    virtual void showCheck(qint64 id, const CheckRecord &record);
    virtual void showComparison(const QString &title, const QList<CheckChange> &changes);

private:
    void useDatabase();
    std::optional<CheckRecord> load(const HistoryRow &row);
    void openSelected();
    void compareSelected();
    void exportCsv();
    void updateButtons();
    void showState();
    QList<int> selectedRows() const;

    CheckRecorder &m_recorder;
    QString m_loadFailure; // why load() read nothing
    HistoryModel *m_model;
    QLineEdit *m_database;
    QPushButton *m_useDatabase;
    QLineEdit *m_filter;
    QTableView *m_view;
    QLabel *m_state;
    QPushButton *m_open;
    QPushButton *m_compare;
    QPushButton *m_export;
    QTimer m_filterPause;
};
