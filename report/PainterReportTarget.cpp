#include "PainterReportTarget.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

PainterReportTarget::PainterReportTarget(QPainter &painter, const QRectF &area,
                                         const QBrush &background, NewPage newPage)
    : m_painter(painter), m_area(area), m_background(background), m_newPage(std::move(newPage)),
      m_font(painter.font()), m_top(area.top())
{
    // No ligatures: "fi" or "fl" drawn as one glyph is one character in the
    // document's text, and none at all once a print queue has passed it
    // through PostScript ("veried"). Latin text needs no shaping, so every
    // letter keeps a glyph of its own.
    m_font.setStyleStrategy(QFont::StyleStrategy(m_font.styleStrategy() | QFont::PreferNoShaping));
}

void PainterReportTarget::print(const QString &text)
{
    const QStringList lines = splitReportLines(text);
    for (const QString &line : lines)
        printLine(line);
}

void PainterReportTarget::printLine(const QString &line)
{
    m_painter.setFont(m_font);
    const QFontMetricsF metrics(m_font, m_painter.device());
    startLine(metrics.lineSpacing());

    const qreal baseline = m_top + metrics.ascent();
    const qreal stop = TabStopPoints * m_painter.device()->logicalDpiX() / 72.0;
    const qreal blank = metrics.horizontalAdvance(QLatin1Char(' '));
    qreal x = m_area.left();
    const QStringList columns = line.split(QLatin1Char('\t'));
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (i > 0)
            x = m_area.left() + reportTabPosition(x - m_area.left(), int(i), stop, blank);
        const QString &column = columns.at(i);
        if (!column.isEmpty()) {
            m_painter.drawText(QPointF(x, baseline), column);
            x += metrics.horizontalAdvance(column);
        }
    }
    m_top += metrics.lineSpacing();
}

void PainterReportTarget::startLine(qreal lineHeight)
{
    const bool pageHasLines = m_top > m_area.top();
    const bool fits = m_top + lineHeight <= m_area.bottom();
    if (fits || !pageHasLines || !m_newPage)
        return;
    if (m_newPage())
        m_top = m_area.top();
}

void PainterReportTarget::setBold(bool on)
{
    m_font.setBold(on);
}

void PainterReportTarget::setSize(int points)
{
    m_font.setPointSize(points);
}

void PainterReportTarget::endDoc()
{
    m_endedCleanly = m_painter.end();
}

void PainterReportTarget::clear()
{
    m_painter.fillRect(m_area, m_background);
    m_top = m_area.top();
}
