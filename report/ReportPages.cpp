#include "ReportPages.h"

#include "PainterReportTarget.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

namespace {

constexpr int FooterPoints = 8;

QFont footerFont()
{
    QFont font;
    font.setPointSize(FooterPoints);
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    return font;
}

// The footer's line and a blank line above it.
qreal footerBand(const QPaintDevice *device)
{
    return 2 * QFontMetricsF(footerFont(), device).lineSpacing();
}

// A page of the printer's resolution that only measures.
QImage measuringSheet(int dpi)
{
    QImage sheet(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int dotsPerMeter = qRound(dpi / 0.0254);
    sheet.setDotsPerMeterX(dotsPerMeter);
    sheet.setDotsPerMeterY(dotsPerMeter);
    return sheet;
}

// Draws the last page's footer before the document is ended.
class FootedTarget : public PainterReportTarget
{
public:
    FootedTarget(QPainter &painter, const QRectF &area, NewPage newPage,
                 std::function<void()> lastFooter)
        : PainterReportTarget(painter, area, Qt::white, std::move(newPage)),
          m_lastFooter(std::move(lastFooter))
    {}
    void endDoc() override
    {
        m_lastFooter();
        m_footed = true;
        PainterReportTarget::endDoc();
    }
    bool footed() const { return m_footed; }

private:
    std::function<void()> m_lastFooter;
    bool m_footed = false;
};

} // namespace

ReportPages::ReportPages(const ReportSource &source, const QSizeF &printable, int dpi)
    : m_source(source), m_printable(printable), m_dpi(dpi)
{}

int ReportPages::count() const
{
    QImage sheet = measuringSheet(m_dpi);
    QPainter painter(&sheet);
    int pages = 1;
    const QRectF lines(QPointF(), m_printable - QSizeF(0, footerBand(&sheet)));
    PainterReportTarget target(painter, lines, Qt::white, [&pages] {
        ++pages;
        return true;
    });
    renderReport(target, m_source, ReportMedium::Preview);
    return pages;
}

int ReportPages::draw(QPainter &painter, ReportMedium medium,
                      const std::function<void(int index)> &startPage) const
{
    const int pages = count();
    int page = 0;
    const auto drawFooter = [&] {
        painter.save();
        const QFont font = footerFont();
        painter.setFont(font);
        const qreal descent = QFontMetricsF(font, painter.device()).descent();
        painter.drawText(QPointF(0, m_printable.height() - descent),
                         reportFooter(page + 1, pages, m_source));
        painter.restore();
    };
    startPage(0);
    const QRectF lines(QPointF(), m_printable - QSizeF(0, footerBand(painter.device())));
    FootedTarget target(
        painter, lines,
        [&] {
            drawFooter();
            startPage(++page);
            return true;
        },
        drawFooter);
    renderReport(target, m_source, medium);
    if (!target.footed())
        drawFooter();
    if (!target.endedCleanly())
        return 0;
    return page + 1;
}
