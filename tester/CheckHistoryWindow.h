#pragma once

#include "CheckRecord.h"
#include "RecordStore.h"

#include <QTimer>
#include <QWidget>

class CheckRecorder;
class HistoryModel;
class HistoryReader;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The "Check History" window: every recorded check, newest first, one row
// each, narrowed by a filter as the operator types. Opening a row shows
// that check (its report to reprint, its serial record, its findings);
// selecting two offers "Compare"; "Export CSV..." saves the rows the filter
// keeps. The database is the window's setting, kept with QSettings; SMA_DB
// comes before it, and without either the default file is used. The window
// uses the tester's recorder's database, so that both always use the same
// one, and reads it through a HistoryReader, on a thread of its own: while a
// server connects the window says so, and one that cannot be reached is a
// line in the window, never a window that stops answering.
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
    enum class Asked { Open, Compare };
    void useDatabase();
    void checksLoaded(int request, const QList<CheckRecord> &records);
    void requestFailed(int request, const QString &reason);
    void openSelected();
    void compareSelected();
    void exportCsv();
    void updateButtons();
    void showState();
    QList<int> selectedRows() const;

    CheckRecorder &m_recorder;
    HistoryReader *m_reader;
    HistoryModel *m_model;
    // Checks asked for to open or compare, and the rows they were asked
    // from; an export under way. Each by its request's number.
    int m_loading = 0;
    Asked m_asked = Asked::Open;
    QList<HistoryRow> m_askedRows;
    int m_exporting = 0;
    QString m_exportFile;
    QString m_connecting; // the database being connected to, empty when none is
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
