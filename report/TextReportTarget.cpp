#include "TextReportTarget.h"

#include "ReportRenderer.h"

QStringList reportLines(const ReportSource &source)
{
    TextReportTarget target;
    renderReport(target, source, ReportMedium::Preview);
    return target.lines();
}
