#include "RecordedReportSource.h"

#include "ComplianceChecks.h"

QString RecordedReportSource::scaleAboutText() const
{
    return linesWithCrLf(m_record.about);
}

QString RecordedReportSource::scaleInfoText() const
{
    return linesWithCrLf(m_record.info);
}

QStringList RecordedReportSource::testedCommands() const
{
    return commandEntries(m_record.commands);
}

QStringList RecordedReportSource::commandResults() const
{
    return commandResultTexts(m_record.commands);
}

bool RecordedReportSource::weightStreamVerified() const
{
    return m_record.weightStream == CheckRecord::WeightStream::Verified;
}

bool RecordedReportSource::CheckSMALevel2() const
{
    return checkSmaLevel2(m_record.published);
}
