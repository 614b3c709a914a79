#pragma once

#include "ReportRenderer.h"

#include <QSizeF>

#include <functional>

class QPainter;
class ReportSource;

// The report set on pages, as it is printed and previewed: its lines flow
// from the top of each page's printable area, and every page ends with its
// footer line ("Page 1 of 2 · ..."), kept apart from the lines below them.
class ReportPages
{
public:
    // `printable` is the size of a page's printable area in pixels of a
    // device of `dpi` dots per inch.
    ReportPages(const ReportSource &source, const QSizeF &printable, int dpi);

    // How many pages the report takes now.
    int count() const;

    // Draws every page with `painter`, whose device has the resolution given
    // above. `startPage(index)` readies the painter for page `index` (from
    // 0): a new sheet of paper, the next page on screen; afterwards the
    // painter's origin is the top-left corner of that page's printable area.
    // On the printer the document is ended after the last footer. Returns
    // the number of pages drawn, 0 when ending the document failed.
    int draw(QPainter &painter, ReportMedium medium,
             const std::function<void(int index)> &startPage) const;

private:
    const ReportSource &m_source;
    QSizeF m_printable;
    int m_dpi;
};
