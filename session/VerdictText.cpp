#include "VerdictText.h"

#include "CommandText.h"

namespace {

const QString kDash = QStringLiteral(" \u2014 ");
const QString kWaiting = QStringLiteral("waiting for the answer");

bool isLevel1Letter(QChar letter)
{
    return QStringLiteral("ABDWZ").contains(letter);
}

// What failed without an answer that says so.
QString missingAnswer(const TestedCommand &command)
{
    switch (command.reason) {
    case TestedCommand::Reason::Unsolicited:
        return QStringLiteral("the scale sends without being asked (%1 lines unasked)")
            .arg(command.unaskedLines);
    case TestedCommand::Reason::PortLost:
        return QStringLiteral("the port was lost before an answer");
    case TestedCommand::Reason::ListingCut:
        return QStringLiteral("the listing did not end within %1 lines").arg(kListingLineLimit);
    case TestedCommand::Reason::Stopped:
        return QStringLiteral("stopped before an answer");
    case TestedCommand::Reason::TimedOut:
        if (command.bytesArrived > 0)
            return QStringLiteral("%1 %2 arrived, none ended an answer")
                .arg(command.bytesArrived)
                .arg(command.bytesArrived == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"));
        break;
    case TestedCommand::Reason::None:
        break;
    }
    return QStringLiteral("no answer within %1 ms").arg(SmaSession::kResponseTimeoutMs);
}

} // namespace

QString verdictEvidence(const TestedCommand &command, const QString &published)
{
    using Result = TestedCommand::Result;
    if (command.result == Result::Awaited)
        return kWaiting;
    const QString verdict = resultText(command.result);
    if (command.result == Result::Pending)
        return verdict + kDash + kWaiting;

    QString evidence;
    if (command.answer) {
        evidence = QLatin1Char('"') + printableBytes(*command.answer) + QLatin1Char('"');
        if (command.ms >= 0)
            evidence += QStringLiteral(" after %1 ms").arg(command.ms);
    } else {
        evidence = missingAnswer(command);
    }
    if (command.result == Result::Failed && command.command.size() == 1 &&
        !isLevel1Letter(command.command.at(0)) && !published.contains(command.command.at(0)))
        evidence += QStringLiteral(" (not published)");
    return verdict + kDash + evidence;
}
