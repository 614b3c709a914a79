#pragma once

#include "CheckRecord.h"
#include "ReportSource.h"

// The compliance report of a recorded check, for the preview to show and
// print it again: the same lines as when the check ended.
class RecordedReportSource : public ReportSource
{
public:
    explicit RecordedReportSource(CheckRecord record) : m_record(std::move(record)) {}

    const CheckRecord &record() const { return m_record; }

    QString scaleAboutText() const override;
    QString scaleInfoText() const override;
    QStringList testedCommands() const override;
    QStringList commandResults() const override;
    QString publishedCommands() const override { return m_record.published; }
    bool weightStreamVerified() const override;
    QString portText() const override { return m_record.port; }
    QDateTime runEnded() const override { return m_record.ended; }
    bool CheckSMALevel1() const override { return m_record.level1Commands; }
    bool CheckSMALevel2() const override;

private:
    CheckRecord m_record;
};
