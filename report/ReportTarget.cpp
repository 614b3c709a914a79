#include "ReportTarget.h"

#include <QString>
#include <QStringList>

QStringList splitReportLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i; // CR LF is one line end
        start = i + 1;
    }
    lines << text.mid(start);
    return lines;
}

qreal reportTabPosition(qreal x, int number, qreal stopWidth, qreal gap)
{
    return qMax(number * stopWidth, x + gap);
}

QString expandReportTabs(const QString &line)
{
    constexpr int TerminalTabStop = 8;
    QString expanded;
    int tabs = 0;
    for (const QChar c : line) {
        if (c != QLatin1Char('\t')) {
            expanded += c;
            continue;
        }
        const auto column =
            qsizetype(reportTabPosition(qreal(expanded.size()), ++tabs, TerminalTabStop, 1));
        expanded = expanded.leftJustified(column, QLatin1Char(' '));
    }
    return expanded;
}
