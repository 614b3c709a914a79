#include "RecordedReportSource.h"

#include "ComplianceChecks.h"
#include "LineSettings.h"

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

QString RecordedReportSource::lineSettingsText() const
{
    const std::optional<LineSettings> line = LineSettings::parse(m_record.line);
    if (m_record.line.isEmpty() || (line && line->isDefault()))
        return {};
    return m_record.line;
}

// A record that kept no version (one written by hand, or by a program that
// did not say) must not claim this program's.
QString RecordedReportSource::programVersionText() const
{
    return m_record.programVersion.isEmpty() ? QStringLiteral("(version not recorded)")
                                             : m_record.programVersion;
}
