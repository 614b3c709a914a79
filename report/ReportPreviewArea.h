#pragma once

#include <QAbstractScrollArea>
#include <QPageLayout>
#include <QStringList>

class ReportSource;

// The drawing area of the print preview: the report on the pages the printer
// prints, one under the other, at their true size or zoomed. Every paint
// draws the report afresh from the tester's current state, laid out on the
// printer's page at the printer's resolution, so the preview breaks its pages
// where the print does and always shows exactly one up-to-date copy.
//
// The area scrolls with the mouse wheel and, once it has the focus, with the
// arrow keys, Page Up and Page Down, Home and End. Ctrl+plus and Ctrl+minus
// zoom (also Ctrl with the wheel, and the context menu), Ctrl+0 goes back to
// the true size. Screen readers get the report's lines as the area's text.
class ReportPreviewArea : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit ReportPreviewArea(const ReportSource &source, QWidget *parent = nullptr);

    // The page the report is printed on, and the resolution of the device it
    // is printed with: line heights, tab stops and page breaks follow them.
    void setPageLayout(const QPageLayout &layout, int resolution);
    QPageLayout pageLayout() const { return m_layout; }

    // How many pages the report takes as the tester's state stands now.
    int pageCount() const;

    // 1.0 shows the pages at their true size on screen.
    qreal zoom() const { return m_zoom; }
    void setZoom(qreal zoom);
    void zoomIn();
    void zoomOut();
    void zoomToActualSize();

    // The report's lines as they print, read afresh from the tester's state;
    // what the area offers screen readers as its text.
    QStringList reportLines() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    // Screen pixels per device pixel of the printer.
    qreal scale() const;
    QSize pageSize() const;
    QSize contentSize() const;
    int pageGap() const;
    // Where page `index` lies in the viewport at the current scroll position.
    QRect pageRect(int index) const;
    void updateScrollBars();
    void drawFocusFrame(QPainter &painter) const;

    const ReportSource &m_source;
    QPageLayout m_layout;
    int m_resolution;
    qreal m_zoom = 1.0;
    int m_laidOutPages = 1; // the page count the scroll bars are set up for
};
