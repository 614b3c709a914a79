#include "ReportRenderer.h"

#include "ReportSource.h"
#include "ReportTarget.h"

#include <QString>
#include <QStringList>

namespace {

constexpr int TitleSize = 24;
constexpr int BodySize = 8;

void printCommandTable(ReportTarget &target, const ReportSource &source)
{
    target.print(QStringLiteral("Tested Commands\t\t\tResults"));
    target.setBold(false);

    const QStringList commands = source.testedCommands();
    const QStringList results = source.commandResults();
    // The newest command may not have its result yet: its column stays empty.
    for (qsizetype row = 0; row < commands.size(); ++row)
        target.print(commands.at(row) + QStringLiteral("\t\t\t\t\t") + results.value(row));
}

void printVerdicts(ReportTarget &target, const ReportSource &source)
{
    const QString level1NotVerified = QStringLiteral("SMA Level 1 Compliance Not Verified");
    if (!source.weightStreamVerified()) {
        target.print(QStringLiteral("Weight stream not verified"));
        target.print(level1NotVerified);
        return;
    }
    target.print(QStringLiteral("SMA Weight stream verified correct"));
    if (!source.CheckSMALevel1()) {
        target.print(level1NotVerified);
        return;
    }
    target.print(QStringLiteral("SMA Level 1 Compliance Verified( ABDWZ )"));
    if (source.CheckSMALevel2())
        target.print(QStringLiteral("SMA Level 2 commands supported ( ") +
                     source.publishedCommands() + QStringLiteral(" )"));
}

} // namespace

QString programVersion()
{
    return QStringLiteral(SMA_VERSION);
}

QString reportFooter(int page, int pages, const ReportSource &source)
{
    const QDateTime ended =
        source.runEnded().isValid() ? source.runEnded() : QDateTime::currentDateTime();
    QString port = source.portText();
    if (const QString line = source.lineSettingsText(); !line.isEmpty())
        port += QStringLiteral(" at ") + line;
    return QStringLiteral("Page %1 of %2 \u00b7 %3 \u00b7 port %4 \u00b7 SMA Compliance Tester %5")
        .arg(page)
        .arg(pages)
        .arg(ended.toString(QStringLiteral("yyyy-MM-dd HH:mm")), port,
             source.programVersionText().isEmpty() ? programVersion()
                                                   : source.programVersionText());
}

bool reportVerifiesLevel1(const ReportSource &source)
{
    // The compliance check is asked only after the weight stream, as the
    // report asks it.
    return source.weightStreamVerified() && source.CheckSMALevel1();
}

void renderReport(ReportTarget &target, const ReportSource &source, ReportMedium medium)
{
    if (medium == ReportMedium::Preview)
        target.clear();

    target.setBold(true);
    target.setSize(TitleSize);
    target.print(QStringLiteral("Scale Manufacturers Association"));

    target.setSize(BodySize);
    target.print(QStringLiteral("Device Description"));
    target.setBold(false);
    target.print(source.scaleAboutText());

    target.setBold(true);
    target.print(QStringLiteral("Operational Information"));
    target.setBold(false);
    target.print(source.scaleInfoText());

    target.setBold(true);
    printCommandTable(target, source);

    // A lone CR: blank space between the table and the verdicts.
    target.print(QStringLiteral("\r"));

    target.setBold(true);
    printVerdicts(target, source);
    target.setBold(false);

    if (medium == ReportMedium::Printer)
        target.endDoc();
}
