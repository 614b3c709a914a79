#pragma once

#include "CheckRecord.h"

#include <QWidget>

class QPlainTextEdit;
class QTreeWidget;
class ReportSource;

// One recorded check, as "Check History" opens it: its report as it was
// printed, its serial record and its findings. "Print Preview..." shows the
// report on its pages, from where it prints again.
class RecordedCheckWindow : public QWidget
{
    Q_OBJECT
public:
    RecordedCheckWindow(qint64 id, CheckRecord record, QWidget *parent = nullptr);

    const CheckRecord &record() const { return m_record; }

protected:
    // Seam for tests: the modal print preview.
    virtual void showPreview(const ReportSource &source);

private:
    CheckRecord m_record;
    QPlainTextEdit *m_report;
    QTreeWidget *m_traffic;
    QTreeWidget *m_findings;
};
