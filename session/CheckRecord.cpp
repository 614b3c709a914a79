#include "CheckRecord.h"

#include "CommandText.h"
#include "ReportRenderer.h"
#include "TextReportTarget.h"

#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

QString weightStreamText(CheckRecord::WeightStream stream)
{
    switch (stream) {
    case CheckRecord::WeightStream::Verified:
        return QStringLiteral("verified");
    case CheckRecord::WeightStream::Skipped:
        return QStringLiteral("skipped");
    case CheckRecord::WeightStream::NotVerified:
        break;
    }
    return QStringLiteral("not verified");
}

std::optional<CheckRecord::WeightStream> weightStreamFromText(const QString &text)
{
    for (const auto stream :
         {CheckRecord::WeightStream::Verified, CheckRecord::WeightStream::NotVerified,
          CheckRecord::WeightStream::Skipped}) {
        if (text == weightStreamText(stream))
            return stream;
    }
    return std::nullopt;
}

Finding::Severity severityFromText(const QString &text)
{
    for (const auto severity :
         {Finding::Severity::Error, Finding::Severity::Warning, Finding::Severity::Note}) {
        if (text == severityText(severity))
            return severity;
    }
    return Finding::Severity::Note;
}

QString level1Text(bool verified)
{
    return verified ? QStringLiteral("verified") : QStringLiteral("not verified");
}

QString aboutField(const QStringList &about, const QString &field)
{
    // Some scales leave the blank out of the serial number's field name.
    const QString unpadded = QString(field).remove(QLatin1Char(' '));
    for (const QString &line : about) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed();
        if (unpadded != field && line.startsWith(unpadded))
            return line.mid(unpadded.size()).trimmed();
    }
    return {};
}

namespace {

// The newest entry of a test with data whose command starts with `letter`:
// the tare test ("T" and its value) or the units test ("U" and its code).
std::optional<TestedCommand> singleTest(const QList<TestedCommand> &commands, QChar letter)
{
    for (auto it = commands.crbegin(); it != commands.crend(); ++it) {
        if (it->printable.size() > kPlainEntryLength && it->command.startsWith(letter))
            return *it;
    }
    return std::nullopt;
}

QString userName()
{
    for (const char *name : {"USER", "LOGNAME", "USERNAME"}) {
        const QString user = qEnvironmentVariable(name);
        if (!user.isEmpty())
            return user;
    }
#ifdef Q_OS_UNIX
    // Services and CI jobs often run without a login's environment.
    if (const passwd *account = getpwuid(geteuid()))
        return QString::fromLocal8Bit(account->pw_name);
#endif
    return {};
}

} // namespace

void fillCheckRecord(const SmaSession &session, CheckRecord &record)
{
    record.port = session.portText();
    record.started = session.runStarted();
    record.ended = session.runEnded();
    record.programVersion = ::programVersion();
    record.host = QSysInfo::machineHostName();
    record.user = userName();
    record.about = session.aboutLines();
    record.info = session.infoLines();
    record.manufacturer = aboutField(record.about, QStringLiteral("MFG:"));
    record.model = aboutField(record.about, QStringLiteral("MOD:"));
    record.serialNumber = aboutField(record.about, QStringLiteral("SN :"));
    record.revision = aboutField(record.about, QStringLiteral("REV:"));
    record.published = session.published();
    record.commands = session.commands();
    // The operator's ticks are how the list was worked, not what was found.
    for (TestedCommand &command : record.commands)
        command.ticked = false;
    record.tare = singleTest(record.commands, QLatin1Char('T'));
    record.units = singleTest(record.commands, QLatin1Char('U'));
    // A raw network port's settings are the device server's, which nobody here knows.
    record.line = session.lineSettingsWords();
    record.level1Commands = session.CheckSMALevel1();
    record.level1 = reportVerifiesLevel1(session);
    record.report = reportLines(session);
    record.findings = session.findings();
    record.traffic.clear();
    for (const TrafficEntry &entry : session.traffic().entries())
        record.traffic << RecordedTraffic{entry.ms, TrafficLog::direction(entry.kind), entry.bytes,
                                          TrafficLog::note(entry)};
}
