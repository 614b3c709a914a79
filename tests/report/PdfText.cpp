#include "PdfText.h"

#include "ReportRenderer.h"

#include "FakeReportSource.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace PdfText {

bool available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

QString extract(const QString &pdfPath)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"),
                    {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                     pdfPath, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitStatus() != QProcess::NormalExit ||
        pdftotext.exitCode() != 0)
        return {};
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

QStringList expectedLines(const FakeReportSource &source, const QStringList &verdicts)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    const auto textLines = [](const QString &text) {
        return text.split(lineBreak, Qt::SkipEmptyParts);
    };

    QStringList lines = {QStringLiteral("Scale Manufacturers Association"),
                         QStringLiteral("Device Description")};
    lines << textLines(source.about) << QStringLiteral("Operational Information")
          << textLines(source.info) << QStringLiteral("Tested Commands\t\t\tResults");
    for (qsizetype i = 0; i < source.commands.size(); ++i)
        lines << source.commands.at(i) + QStringLiteral("\t\t\t\t\t") + source.results.value(i);
    lines << verdicts;
    return lines;
}

namespace {

// The footer page `page` of `pages` must end with, written out here rather
// than asked of the renderer, so that a footer that counts its pages wrongly
// cannot agree with itself.
QString expectedFooter(int page, int pages, const ReportSource &source)
{
    return QString::fromUtf8("Page %1 of %2 · %3 · port %4 · SMA Compliance Tester %5")
        .arg(page)
        .arg(pages)
        .arg(source.runEnded().toString(QStringLiteral("yyyy-MM-dd HH:mm")), source.portText(),
             programVersion());
}

// The whole of `line` as pdftotext shows it: columns literally, a run of
// TABs between them as a run of blanks, TABs at the end as nothing.
QRegularExpression linePattern(const QString &line)
{
    static const QRegularExpression tabs(QStringLiteral("\t+"));
    QStringList columns = line.split(tabs);
    while (columns.size() > 1 && columns.constLast().isEmpty())
        columns.removeLast();
    for (QString &column : columns)
        column = QRegularExpression::escape(column);
    return QRegularExpression(
        QRegularExpression::anchoredPattern(columns.join(QStringLiteral(" +"))));
}

} // namespace

QString firstMismatch(const QString &text, const QStringList &lines,
                      const ReportSource &footerSource)
{
    // pdftotext ends each page with a form feed; the last line of a page is
    // its footer.
    QStringList pages = text.split(u'\f');
    if (pages.size() > 1 && pages.last().trimmed().isEmpty())
        pages.removeLast();
    QStringList found;
    for (qsizetype page = 0; page < pages.size(); ++page) {
        QStringList pageLines = pages.at(page).split(u'\n', Qt::SkipEmptyParts);
        const QString footer = expectedFooter(int(page + 1), int(pages.size()), footerSource);
        if (pageLines.isEmpty() || pageLines.last() != footer)
            return QStringLiteral("page %1: expected the footer \"%2\", got \"%3\"")
                .arg(page + 1)
                .arg(footer, pageLines.value(pageLines.size() - 1));
        pageLines.removeLast();
        found << pageLines;
    }

    for (qsizetype i = 0; i < qMax(lines.size(), found.size()); ++i) {
        const QString expected = lines.value(i);
        const bool blankRun = expected.contains(QStringLiteral("  "));
        if (i < lines.size() && i < found.size() && !blankRun &&
            linePattern(expected).match(found.at(i)).hasMatch())
            continue;
        return QStringLiteral("line %1: expected \"%2\", got \"%3\"%4")
            .arg(i + 1)
            .arg(QString(expected).replace(u'\t', QStringLiteral("<TAB>")), found.value(i),
                 blankRun ? QStringLiteral(" (pdftotext cannot give back a run of blanks)")
                          : QString());
    }
    return {};
}

} // namespace PdfText
