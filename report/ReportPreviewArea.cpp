#include "ReportPreviewArea.h"

#include "PainterReportTarget.h"
#include "ReportRenderer.h"

#include <QPainter>

ReportPreviewArea::ReportPreviewArea(const ReportSource &source, QWidget *parent)
    : QWidget(parent), m_source(source)
{
    // The report clears the area itself before drawing.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
}

void ReportPreviewArea::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    PainterReportTarget target(painter, rect(), palette().brush(backgroundRole()));
    renderReport(target, m_source, ReportMedium::Preview);
}
