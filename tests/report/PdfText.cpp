#include "PdfText.h"

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
                    {QStringLiteral("-layout"), pdfPath, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitStatus() != QProcess::NormalExit ||
        pdftotext.exitCode() != 0)
        return {};
    // Compatibility normalisation turns typographic ligatures ("ﬁ") back into letters.
    return QString::fromUtf8(pdftotext.readAllStandardOutput())
        .normalized(QString::NormalizationForm_KC);
}

QStringList expectedLines(const FakeReportSource &source, const QStringList &verdicts)
{
    const auto literal = [](const QString &text) { return QRegularExpression::escape(text); };
    const auto textLines = [&](const QString &text) {
        QStringList lines;
        for (const QString &line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            lines << literal(line);
        return lines;
    };

    QStringList lines = {QStringLiteral("Scale Manufacturers Association"),
                         QStringLiteral("Device Description")};
    lines << textLines(source.about) << QStringLiteral("Operational Information")
          << textLines(source.info) << QStringLiteral("Tested Commands\\s+Results");
    for (qsizetype i = 0; i < source.commands.size(); ++i)
        lines << literal(source.commands.at(i)) + QStringLiteral("\\s+") +
                     literal(source.results.value(i));
    for (const QString &verdict : verdicts)
        lines << literal(verdict);
    return lines;
}

QString firstMissing(const QString &text, const QStringList &patterns)
{
    qsizetype from = 0;
    for (const QString &pattern : patterns) {
        const QRegularExpressionMatch match = QRegularExpression(pattern).match(text, from);
        if (!match.hasMatch())
            return pattern;
        from = match.capturedEnd();
    }
    return {};
}

} // namespace PdfText
