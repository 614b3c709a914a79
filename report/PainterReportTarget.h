#pragma once

#include "ReportTarget.h"

#include <QBrush>
#include <QFont>
#include <QRectF>

#include <functional>

class QPainter;

// Writes the report with a QPainter onto any paint device: the preview area,
// a printer or a PDF file. Lines flow down from the top-left corner of
// `area`; nothing wraps, and what runs past the edges is simply not seen.
// Sizes are points of the device, so the preview shows them at their true
// size on screen instead of shrinking a page.
class PainterReportTarget : public ReportTarget
{
public:
    // Starts a new page and answers whether it did. Given only for paged
    // devices; without it, lines below the area are drawn outside (clipped).
    using NewPage = std::function<bool()>;

    // Distance between tab stops, measured from the left edge of the area;
    // a line's TABs go to the stops of their numbers (reportTabPosition()).
    static constexpr qreal TabStopPoints = 36.0;

    PainterReportTarget(QPainter &painter, const QRectF &area, const QBrush &background,
                        NewPage newPage = {});

    void print(const QString &text) override;
    void setBold(bool on) override;
    void setSize(int points) override;
    void endDoc() override;
    void clear() override;

    // False when ending the document failed (the device reported an error).
    bool endedCleanly() const { return m_endedCleanly; }

private:
    void printLine(const QString &line);
    void startLine(qreal lineHeight);

    QPainter &m_painter;
    QRectF m_area;
    QBrush m_background;
    NewPage m_newPage;
    QFont m_font;
    qreal m_top = 0;
    bool m_endedCleanly = true;
};
