#include "PainterReportTarget.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <functional>

namespace {

constexpr int Dpi = 96;
constexpr int DotsPerMeter = 3780; // 96 dpi

QImage blankImage(int width = 400, int height = 200)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(DotsPerMeter);
    image.setDotsPerMeterY(DotsPerMeter);
    image.fill(Qt::white);
    return image;
}

QFont reportFont()
{
    return QFont(QStringLiteral("DejaVu Sans"));
}

using Script = std::function<void(PainterReportTarget &)>;

// Runs `script` on a fresh target over `image`, starting at the top-left.
void runOn(QImage &image, const Script &script)
{
    QPainter painter(&image);
    painter.setFont(reportFont());
    PainterReportTarget target(painter, image.rect(), Qt::white);
    target.setSize(8);
    script(target);
}

QImage rendered(const Script &script, int width = 400, int height = 200)
{
    QImage image = blankImage(width, height);
    runOn(image, script);
    return image;
}

// The rows and columns that hold any non-white pixel.
QRect inkBounds(const QImage &image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

qreal lineSpacing(int points)
{
    QFont font = reportFont();
    font.setPointSize(points);
    QImage device = blankImage(1, 1);
    return QFontMetricsF(font, &device).lineSpacing();
}

qreal tabStopPixels()
{
    return PainterReportTarget::TabStopPoints * Dpi / 72.0;
}

} // namespace

class PainterReportTargetTest : public QObject
{
    Q_OBJECT
private slots:
    void crLfStartsNewLines();
    void loneCrLeavesBlankSpaceOnly();
    void tabsGoToTheStopOfTheirNumber_data();
    void tabsGoToTheStopOfTheirNumber();
    void tabStopPositions();
    void longLinesAreNotWrapped();
    void lineHeightFollowsSize();
    void clearLeavesOnlyWhatFollows();
    void newPageWhenAreaIsFull();
};

void PainterReportTargetTest::crLfStartsNewLines()
{
    const QImage oneText =
        rendered([](auto &t) { t.print(QStringLiteral("ABT:Acme\r\nVER:2\r\nX")); });
    const QImage threeTexts = rendered([](auto &t) {
        t.print(QStringLiteral("ABT:Acme"));
        t.print(QStringLiteral("VER:2"));
        t.print(QStringLiteral("X"));
    });
    QVERIFY(!inkBounds(oneText).isEmpty());
    QCOMPARE(oneText, threeTexts);
}

void PainterReportTargetTest::loneCrLeavesBlankSpaceOnly()
{
    const QImage separator = rendered([](auto &t) { t.print(QStringLiteral("\r")); });
    QVERIFY2(inkBounds(separator).isEmpty(), "a CR must not be drawn as a glyph");

    const QRect plain = inkBounds(rendered([](auto &t) { t.print(QStringLiteral("X")); }));
    const QRect afterSeparator = inkBounds(rendered([](auto &t) {
        t.print(QStringLiteral("\r"));
        t.print(QStringLiteral("X"));
    }));
    QVERIFY(afterSeparator.top() - plain.top() >= lineSpacing(8) - 1);
}

// Each TAB goes to the stop of its number, so that the columns after the same
// number of TABs line up, whatever stood before them: the rows of the report,
// a tare row that runs past the first stops included.
void PainterReportTargetTest::tabsGoToTheStopOfTheirNumber_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("tabs");
    QTest::newRow("short text, one TAB") << "AB"
                                         << "\t";
    QTest::newRow("heading") << "Tested Commands"
                             << "\t\t\t";
    QTest::newRow("command row") << "<LF>A<CR>"
                                 << "\t\t\t\t\t";
    QTest::newRow("tare row") << "<LF>T000001.000<CR>"
                              << "\t\t\t\t\t";
    QTest::newRow("units row") << "<LF>Ukg <CR>"
                               << "\t\t\t\t\t";
}

void PainterReportTargetTest::tabsGoToTheStopOfTheirNumber()
{
    QFETCH(QString, before);
    QFETCH(QString, tabs);
    QImage overlaid = blankImage();
    runOn(overlaid, [&](auto &t) { t.print(before); });
    runOn(overlaid, [&](auto &t) { t.print(tabs + QStringLiteral("Passed")); });
    QCOMPARE(rendered([&](auto &t) { t.print(before + tabs + QStringLiteral("Passed")); }),
             overlaid);
}

void PainterReportTargetTest::tabStopPositions()
{
    const QRect column = inkBounds(rendered([](auto &t) { t.print(QStringLiteral("\tResult")); }));
    QVERIFY(column.left() >= qFloor(tabStopPixels()));
    QVERIFY(column.left() < tabStopPixels() + 4);

    // A text running past its TAB's stop keeps a blank's width before the
    // next column, instead of pushing it on to a later stop.
    QFont font = reportFont();
    font.setPointSize(8);
    QImage device = blankImage(1, 1);
    const QFontMetricsF metrics(font, &device);
    QString wide;
    while (metrics.horizontalAdvance(wide) <= tabStopPixels() + 2)
        wide += u'W';
    const QRect after =
        inkBounds(rendered([&](auto &t) { t.print(wide + QStringLiteral("\tI")); }));
    const qreal blankEnd = metrics.horizontalAdvance(wide + u' ');
    QVERIFY2(after.right() >= blankEnd &&
                 after.right() < blankEnd + metrics.horizontalAdvance(u'I') + 2,
             qPrintable(QStringLiteral("%1 after %2").arg(after.right()).arg(blankEnd)));
}

void PainterReportTargetTest::longLinesAreNotWrapped()
{
    const QString longLine =
        QStringLiteral("CMD:ABCDEFGHIJKLMNOPQRSTUVWXYZ ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const QRect ink = inkBounds(rendered([&](auto &t) { t.print(longLine); }, 120, 200));
    QVERIFY(ink.right() >= 112);            // runs into the right edge...
    QVERIFY(ink.bottom() < lineSpacing(8)); // ...and stays on its one line
}

void PainterReportTargetTest::lineHeightFollowsSize()
{
    const auto secondLineTop = [](int firstSize) {
        return inkBounds(rendered([&](auto &t) {
                   t.setSize(firstSize);
                   t.print(QString());
                   t.setSize(8);
                   t.print(QStringLiteral("X"));
               }))
            .top();
    };
    const qreal expected = lineSpacing(24) - lineSpacing(8);
    QVERIFY(expected > 10);
    QVERIFY(qAbs(secondLineTop(24) - secondLineTop(8) - expected) <= 1);
}

void PainterReportTargetTest::clearLeavesOnlyWhatFollows()
{
    const QImage afterClear = rendered([](auto &t) {
        for (int i = 0; i < 8; ++i)
            t.print(QStringLiteral("<LF>A<CR>\t\t\t\t\tPassed"));
        t.clear();
        t.print(QStringLiteral("X"));
    });
    QCOMPARE(afterClear, rendered([](auto &t) { t.print(QStringLiteral("X")); }));
}

void PainterReportTargetTest::newPageWhenAreaIsFull()
{
    // An area three lines high: seven lines need two more pages.
    QImage image = blankImage(200, qCeil(3 * lineSpacing(8)) + 1);
    QPainter painter(&image);
    painter.setFont(reportFont());
    int pagesStarted = 0;
    PainterReportTarget target(painter, image.rect(), Qt::white, [&] {
        ++pagesStarted;
        painter.fillRect(image.rect(), Qt::white); // stands in for a fresh sheet
        return true;
    });
    target.setSize(8);
    for (int i = 0; i < 7; ++i)
        target.print(QStringLiteral("line %1").arg(i));
    painter.end();
    QCOMPARE(pagesStarted, 2);
    // The seventh line is the first of the third page.
    QVERIFY(inkBounds(image).bottom() < lineSpacing(8));
    QVERIFY(!inkBounds(image).isEmpty());
}

QTEST_MAIN(PainterReportTargetTest)
#include "tst_PainterReportTarget.moc"
