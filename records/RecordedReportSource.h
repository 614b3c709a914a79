#pragma once

#include "CheckRecord.h"
#include "ReportSource.h"

// The compliance report of a recorded check, for the preview to show and
// print it again: the same lines as when the check ended, and a footer that
// names the port, line settings and program version the check was made
// with, whatever this program and its settings are now.
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
    QString lineSettingsText() const override;
    QString programVersionText() const override;
    bool CheckSMALevel1() const override { return m_record.level1Commands; }
    bool CheckSMALevel2() const override;

private:
    CheckRecord m_record;
};
