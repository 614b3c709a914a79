#include "ReportPreviewArea.h"

#include "ReportPages.h"
#include "TextReportTarget.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The zoom steps of Ctrl+plus and Ctrl+minus, 1.0 being the true size.
constexpr std::array<qreal, 13> ZoomSteps = {0.25, 0.33, 0.5, 0.67, 0.75, 0.9, 1.0,
                                             1.1,  1.25, 1.5, 2.0,  3.0,  4.0};

// Until the window says which printer, a print without one: A4 with the PDF
// writer's margins, in the resolution the report is printed in.
QPageLayout defaultPageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Point);
}
constexpr int DefaultResolution = 1200;

// An image that measures fonts and tab stops as a printer of `resolution`
// dots per inch does, so the report is laid out on it line for line as it
// prints.
void giveResolution(QImage &image, int resolution)
{
    const int dotsPerMeter = qRound(resolution / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
}

// What a screen reader sees of the preview: a read-only, multi-line text
// holding the report's lines, one per line, read afresh on every request.
class ReportPreviewAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ReportPreviewAccessible(ReportPreviewArea *area)
        : QAccessibleWidget(area, QAccessible::EditableText)
    {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        return state;
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return reportText();
        return QAccessibleWidget::text(type);
    }

    QString text(int startOffset, int endOffset) const override
    {
        return reportText().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(reportText().size()); }

    int cursorPosition() const override { return std::min(m_cursor, characterCount()); }
    void setCursorPosition(int position) override { m_cursor = std::max(0, position); }

    // Nothing can be selected, and the text carries no attributes.
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

    // Where a character lies on screen is not tracked.
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}

private:
    QString reportText() const
    {
        return static_cast<const ReportPreviewArea *>(widget())->reportLines().join(
            QLatin1Char('\n'));
    }

    int m_cursor = 0;
};

QAccessibleInterface *previewAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("ReportPreviewArea") && object && object->isWidgetType())
        return new ReportPreviewAccessible(static_cast<ReportPreviewArea *>(object));
    return nullptr;
}

} // namespace

ReportPreviewArea::ReportPreviewArea(const ReportSource &source, QWidget *parent)
    : QAbstractScrollArea(parent), m_source(source), m_layout(defaultPageLayout()),
      m_resolution(DefaultResolution)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(previewAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);

    // Every paint covers the whole viewport: the desk, the pages, the report.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setBackgroundRole(QPalette::Dark);
    setFocusPolicy(Qt::StrongFocus);

    const auto addZoomAction = [this](const QString &text, QList<QKeySequence> keys,
                                      void (ReportPreviewArea::*zoomTo)()) {
        auto *action = new QAction(text, this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, zoomTo);
        addAction(action);
    };
    // Ctrl+= as well: on many keyboards "+" is the shifted "=".
    addZoomAction(tr("Zoom &In"),
                  QKeySequence::keyBindings(QKeySequence::ZoomIn)
                      << QKeySequence(Qt::CTRL | Qt::Key_Equal),
                  &ReportPreviewArea::zoomIn);
    addZoomAction(tr("Zoom &Out"), QKeySequence::keyBindings(QKeySequence::ZoomOut),
                  &ReportPreviewArea::zoomOut);
    addZoomAction(tr("&Actual Size"), {QKeySequence(Qt::CTRL | Qt::Key_0)},
                  &ReportPreviewArea::zoomToActualSize);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ReportPreviewArea::setPageLayout(const QPageLayout &layout, int resolution)
{
    m_layout = layout;
    m_resolution = resolution;
    m_laidOutPages = pageCount();
    updateScrollBars();
    viewport()->update();
}

int ReportPreviewArea::pageCount() const
{
    return ReportPages(m_source, m_layout.paintRectPixels(m_resolution).size(), m_resolution)
        .count();
}

QStringList ReportPreviewArea::reportLines() const
{
    return ::reportLines(m_source);
}

void ReportPreviewArea::setZoom(qreal zoom)
{
    zoom = std::clamp(zoom, ZoomSteps.front(), ZoomSteps.back());
    if (qFuzzyCompare(zoom, m_zoom))
        return;
    // What was at the top-left corner of the view stays there, so a view
    // at the top of the report, or at the page's left margin, stays there.
    const QSize before = contentSize();
    const qreal left = qreal(horizontalScrollBar()->value()) / before.width();
    const qreal top = qreal(verticalScrollBar()->value()) / before.height();
    m_zoom = zoom;
    updateScrollBars();
    const QSize after = contentSize();
    horizontalScrollBar()->setValue(qRound(left * after.width()));
    verticalScrollBar()->setValue(qRound(top * after.height()));
    viewport()->update();
}

void ReportPreviewArea::zoomIn()
{
    const auto next = std::find_if(ZoomSteps.begin(), ZoomSteps.end(),
                                   [this](qreal step) { return step > m_zoom * 1.001; });
    if (next != ZoomSteps.end())
        setZoom(*next);
}

void ReportPreviewArea::zoomOut()
{
    const auto previous = std::find_if(ZoomSteps.rbegin(), ZoomSteps.rend(),
                                       [this](qreal step) { return step < m_zoom * 0.999; });
    if (previous != ZoomSteps.rend())
        setZoom(*previous);
}

void ReportPreviewArea::zoomToActualSize()
{
    setZoom(1.0);
}

qreal ReportPreviewArea::scale() const
{
    return m_zoom * logicalDpiX() / m_resolution;
}

QSize ReportPreviewArea::pageSize() const
{
    const QSizeF page = QSizeF(m_layout.fullRectPixels(m_resolution).size()) * scale();
    return QSize(qCeil(page.width()), qCeil(page.height()));
}

int ReportPreviewArea::pageGap() const
{
    return qRound(logicalDpiX() / 8.0);
}

QSize ReportPreviewArea::contentSize() const
{
    const QSize page = pageSize();
    return QSize(page.width() + 2 * pageGap(),
                 m_laidOutPages * page.height() + (m_laidOutPages + 1) * pageGap());
}

QRect ReportPreviewArea::pageRect(int index) const
{
    const QSize page = pageSize();
    const QSize content = contentSize();
    // A page narrower than the view stands in its middle.
    const int left = content.width() <= viewport()->width()
                         ? (viewport()->width() - page.width()) / 2
                         : pageGap() - horizontalScrollBar()->value();
    const int top = pageGap() + index * (page.height() + pageGap()) - verticalScrollBar()->value();
    return QRect(QPoint(left, top), page);
}

void ReportPreviewArea::updateScrollBars()
{
    const QSize content = contentSize();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, content.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    // About one line of the report.
    const int line = std::max(1, qRound(logicalDpiY() * m_zoom / 6.0));
    horizontalScrollBar()->setSingleStep(line);
    verticalScrollBar()->setSingleStep(line);
}

void ReportPreviewArea::paintEvent(QPaintEvent *)
{
    // The report is drawn on a sheet that measures like the printer, scaled
    // down to the screen; each new page of the report moves on to the next
    // page of paper.
    const qreal pixelRatio = devicePixelRatioF();
    QImage sheet(viewport()->size() * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(pixelRatio);
    giveResolution(sheet, m_resolution);
    sheet.fill(viewport()->palette().color(viewport()->backgroundRole()));

    QPainter painter(&sheet);
    const QPointF printableOrigin = QPointF(m_layout.paintRectPixels(m_resolution).topLeft());
    int page = 0;
    const auto startPage = [&] {
        const QRect paper = pageRect(page);
        painter.resetTransform();
        painter.setClipping(false);
        painter.setPen(palette().color(QPalette::Shadow));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(paper).adjusted(-0.5, -0.5, 0.5, 0.5));
        // What runs past the paper's edge is not printed either.
        painter.setClipRect(paper);
        painter.translate(paper.topLeft());
        painter.scale(scale(), scale());
        painter.translate(printableOrigin);
        painter.setPen(Qt::black);
    };
    ReportPages(m_source, m_layout.paintRectPixels(m_resolution).size(), m_resolution)
        .draw(painter, ReportMedium::Preview, [&](int index) {
            page = index;
            startPage();
        });
    painter.end();

    QPainter onScreen(viewport());
    onScreen.drawImage(0, 0, sheet);
    if (hasFocus())
        drawFocusFrame(onScreen);

    // The tester's state may have changed how many pages there are.
    if (page + 1 != m_laidOutPages) {
        m_laidOutPages = page + 1;
        updateScrollBars();
        viewport()->update();
    }
}

void ReportPreviewArea::drawFocusFrame(QPainter &painter) const
{
    const int width = std::max(2, qRound(logicalDpiX() / 48.0));
    QPen pen(palette().color(QPalette::Highlight), width);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(
        QRectF(viewport()->rect()).adjusted(width / 2.0, width / 2.0, -width / 2.0, -width / 2.0));
}

void ReportPreviewArea::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ReportPreviewArea::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    m_laidOutPages = pageCount();
    updateScrollBars();
}

void ReportPreviewArea::keyPressEvent(QKeyEvent *event)
{
    // Page Up, Page Down and the arrows scroll as in any scroll area.
    switch (event->key()) {
    case Qt::Key_Home:
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
        break;
    case Qt::Key_End:
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void ReportPreviewArea::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    const int notches = event->angleDelta().y();
    if (notches > 0)
        zoomIn();
    else if (notches < 0)
        zoomOut();
    event->accept();
}

void ReportPreviewArea::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void ReportPreviewArea::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}
