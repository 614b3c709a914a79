#include "FakeReportSource.h"
#include "ModalAnswerer.h"
#include "PdfText.h"
#include "PrtForm.h"
#include "ReportPreviewArea.h"
#include "ReportPrinting.h"

#include <QAccessible>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

ReportPreviewArea *previewArea(PrtForm &form)
{
    return form.findChild<ReportPreviewArea *>(QStringLiteral("PrintPreview"));
}

QPushButton *button(PrtForm &form, const char *name)
{
    return form.findChild<QPushButton *>(QString::fromLatin1(name));
}

QImage previewImage(PrtForm &form)
{
    return previewArea(form)->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int twipsToPixels(int twips, const QWidget &widget)
{
    return qRound(twips * widget.logicalDpiX() / 1440.0);
}

// The same report with its verdicts changed: everything above them reads
// the same.
FakeReportSource withOtherVerdicts(FakeReportSource source)
{
    source.weightStream = !source.weightStream;
    return source;
}

// What the preview shows from its top to its end, a screen at a time, paged
// with the keyboard as an operator would. The window is shown for it, as
// the active window, and hidden again.
QList<QImage> pageThrough(PrtForm &form, qreal zoom = 1.0)
{
    form.show();
    if (!QTest::qWaitForWindowActive(&form))
        return {};
    ReportPreviewArea *area = previewArea(form);
    area->setZoom(zoom);
    QScrollBar *bar = area->verticalScrollBar();
    area->setFocus();
    QTest::keyClick(area, Qt::Key_Home);
    QList<QImage> screens{previewImage(form)};
    while (bar->value() < bar->maximum() && screens.size() < 100) {
        const int before = bar->value();
        QTest::keyClick(area, Qt::Key_PageDown);
        if (bar->value() <= before)
            break;
        screens << previewImage(form);
    }
    form.hide();
    return screens;
}

// Where paging through two previews first shows something different; -1
// when they look alike all the way.
int firstDifference(const QList<QImage> &one, const QList<QImage> &other)
{
    for (qsizetype i = 0; i < qMin(one.size(), other.size()); ++i)
        if (one.at(i) != other.at(i))
            return int(i);
    return -1;
}

FakeReportSource sourceWithRows(int rows)
{
    FakeReportSource source = FakeReportSource::compliantScale();
    source.commands.clear();
    source.results.clear();
    for (int i = 0; i < rows; ++i) {
        source.commands << QStringLiteral("<LF>%1<CR>").arg(QChar(u'A' + i % 26));
        source.results << QStringLiteral("Passed");
    }
    return source;
}

// Opens `form` modally; `whileOpen` runs once it is showing (outside the
// answerer's own handler, so it may press buttons that open further
// windows). A question about saving a PDF is declined.
int runModal(PrtForm &form, ModalAnswerer &answerer, std::function<void(PrtForm &)> whileOpen)
{
    answerer.onModal = [&form, whileOpen](QWidget *modal) {
        if (modal == &form)
            QTimer::singleShot(0, &form, [&form, whileOpen] { whileOpen(form); });
        else if (auto *box = qobject_cast<QMessageBox *>(modal);
                 box && box->button(QMessageBox::Cancel))
            box->button(QMessageBox::Cancel)->click();
    };
    return form.exec();
}

} // namespace

class PrtFormTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windowAndControls();
    void windowResizesAroundThePreview();
    void repaintShowsOneCopy();
    void longReportScrollsToItsEnd_data();
    void longReportScrollsToItsEnd();
    void zoomKeys();
    void previewIsFocusableAfterTheButtons();
    void previewReadsAsThePrintedPdf();
    void printCancelAndClose_data();
    void printCancelAndClose();
    void secondOpeningShowsNewState();
    void withoutPrinterSavesPdf();
    void failedPdfSaveIsReported();
};

void PrtFormTest::initTestCase()
{
    // The file dialog remembers folders in the user's settings: keep them apart.
    QStandardPaths::setTestModeEnabled(true);
}

void PrtFormTest::windowAndControls()
{
    const FakeReportSource source;
    PrtForm form(source);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(form.windowTitle(), QStringLiteral("Print Preview"));
    QPushButton *print = button(form, "OKButton");
    QPushButton *cancel = button(form, "CancelButton");
    QVERIFY(print && cancel && previewArea(form));
    QCOMPARE(print->text(), QStringLiteral("Print"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QCOMPARE(print->accessibleName(), QStringLiteral("Print"));
    QCOMPARE(cancel->accessibleName(), QStringLiteral("Cancel"));
    QCOMPARE(previewArea(form)->accessibleName(), QStringLiteral("Print Preview"));

    // "Print" has the focus, "Cancel" comes next (the preview after it).
    QTRY_COMPARE(QApplication::focusWidget(), print);
    QCOMPARE(print->nextInFocusChain(), cancel);

    // It opens with a client area of 9750 x 8265 twips, the preview area
    // 9495 x 7575 twips in it; the buttons sit side by side under it,
    // right-aligned with it, inside the window.
    QCOMPARE(form.size(), QSize(twipsToPixels(9750, form), twipsToPixels(8265, form)));
    const QRect area = previewArea(form)->geometry();
    QCOMPARE(area.size(), QSize(twipsToPixels(9495, form), twipsToPixels(7575, form)));
    QVERIFY(print->geometry().top() > area.bottom());
    QCOMPARE(print->geometry().top(), cancel->geometry().top());
    QVERIFY(print->geometry().right() < cancel->geometry().left());
    QVERIFY(qAbs(cancel->geometry().right() - area.right()) <= 1);
    QVERIFY(form.rect().contains(cancel->geometry()));
}

void PrtFormTest::windowResizesAroundThePreview()
{
    const FakeReportSource source;
    PrtForm form(source);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    const QRect area = previewArea(form)->geometry();
    const QRect cancel = button(form, "CancelButton")->geometry();
    const QRect print = button(form, "OKButton")->geometry();
    form.resize(form.size() + QSize(200, 150));
    QTRY_COMPARE(previewArea(form)->size(), area.size() + QSize(200, 150));
    QCOMPARE(previewArea(form)->pos(), area.topLeft());
    // The buttons keep their size and their place under the preview's
    // bottom right corner.
    QCOMPARE(button(form, "CancelButton")->geometry(), cancel.translated(200, 150));
    QCOMPARE(button(form, "OKButton")->geometry(), print.translated(200, 150));
}

void PrtFormTest::repaintShowsOneCopy()
{
    FakeReportSource source = sourceWithRows(20);
    PrtForm form(source);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.DoPrintPreview();

    // The tester's state shrinks; the next drawing must not leave the old
    // rows showing underneath.
    source = FakeReportSource();
    form.DoPrintPreview();
    form.DoPrintPreview();
    const QRect area = previewArea(form)->geometry();
    const QImage onScreen = form.screen()
                                ->grabWindow(form.winId())
                                .toImage()
                                .copy(area)
                                .convertToFormat(QImage::Format_RGB32);

    const FakeReportSource empty;
    PrtForm fresh(empty);
    QCOMPARE(onScreen, previewImage(fresh));
}

void PrtFormTest::longReportScrollsToItsEnd_data()
{
    QTest::addColumn<qreal>("zoom");
    QTest::newRow("true size") << 1.0;
    QTest::newRow("zoomed in") << 1.5;
    QTest::newRow("zoomed out") << 0.67;
}

void PrtFormTest::longReportScrollsToItsEnd()
{
    QFETCH(qreal, zoom);
    // Two reports of many pages that differ only in their last lines.
    const FakeReportSource notVerified = sourceWithRows(250);
    const FakeReportSource verified = withOtherVerdicts(notVerified);
    PrtForm form(notVerified);
    PrtForm other(verified);
    QVERIFY(previewArea(form)->pageCount() >= 3);

    const QList<QImage> screens = pageThrough(form, zoom);
    const QList<QImage> otherScreens = pageThrough(other, zoom);
    QVERIFY(screens.size() > previewArea(form)->pageCount());
    QCOMPARE(screens.size(), otherScreens.size());
    // The same top, and further down, the lines that differ come into view.
    const int difference = firstDifference(screens, otherScreens);
    QVERIFY(difference > 0);
    QVERIFY2(difference >= screens.size() - 4, qPrintable(QString::number(difference)));
}

void PrtFormTest::zoomKeys()
{
    const FakeReportSource source = sourceWithRows(250);
    PrtForm form(source);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    ReportPreviewArea *area = previewArea(form);
    const int pages = area->pageCount();
    const auto reportHeight = [area] {
        return area->verticalScrollBar()->maximum() + area->verticalScrollBar()->pageStep();
    };
    const int trueSizeHeight = reportHeight();
    QCOMPARE(area->zoom(), 1.0);

    // From wherever the focus is; the pages grow and shrink, not the report.
    QTest::keyClick(button(form, "OKButton"), Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(button(form, "OKButton"), Qt::Key_Plus, Qt::ControlModifier);
    QVERIFY(area->zoom() > 1.2);
    QVERIFY(qAbs(reportHeight() - trueSizeHeight * area->zoom()) < 20);
    QCOMPARE(area->pageCount(), pages);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&form, Qt::Key_Minus, Qt::ControlModifier);
    QVERIFY(area->zoom() < 1.0);
    QVERIFY(qAbs(reportHeight() - trueSizeHeight * area->zoom()) < 20);
    QTest::keyClick(&form, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(area->zoom(), 1.0);
    QCOMPARE(reportHeight(), trueSizeHeight);
}

void PrtFormTest::previewIsFocusableAfterTheButtons()
{
    const FakeReportSource source = sourceWithRows(250);
    PrtForm form(source);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    ReportPreviewArea *area = previewArea(form);
    QTRY_COMPARE(QApplication::focusWidget(), button(form, "OKButton"));
    const QImage unfocused = previewImage(form);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), area);
    // The focus shows, and the keys scroll (Page Down and Home: see
    // pageThrough()).
    QVERIFY(previewImage(form) != unfocused);
    QScrollBar *bar = area->verticalScrollBar();
    QTest::keyClick(area, Qt::Key_Down);
    QCOMPARE(bar->value(), bar->singleStep());
    QTest::keyClick(area, Qt::Key_End);
    QCOMPARE(bar->value(), bar->maximum());
    QTest::keyClick(area, Qt::Key_Home);

    QTest::keyClick(area, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(form, "OKButton"));
    QCOMPARE(previewImage(form), unfocused);
}

void PrtFormTest::previewReadsAsThePrintedPdf()
{
    FakeReportSource source = sourceWithRows(250);
    source.about = QStringLiteral("ABT:Acme Scales\r\nVER:2.10\rSER:0042\n");
    PrtForm form(source);
    // Without a printer, the report is saved as a PDF file: so the preview
    // shows that file's pages.
    form.setDefaultPrinterLookup([] { return QPrinterInfo(); });

    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(previewArea(form));
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Print Preview"));
    QVERIFY(accessible->state().readOnly);
    QAccessibleTextInterface *text = accessible->textInterface();
    QVERIFY(text);
    const QString spoken = text->text(0, text->characterCount());
    QStringList lines = spoken.split(u'\n');
    QCOMPARE(lines.first(), QStringLiteral("Scale Manufacturers Association"));
    QCOMPARE(lines.last(), QStringLiteral("SMA Level 1 Compliance Not Verified"));
    if (!PdfText::available())
        QSKIP("pdftotext is not installed (poppler-utils; tools/setup-pdf-printer.sh installs it)");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdfPath = dir.filePath(QStringLiteral("report.pdf"));
    const PrintOutcome saved = saveReportAsPdf(pdfPath, QStringLiteral("report"), source);
    QVERIFY2(saved.ok, qPrintable(saved.error));
    const QString printed = PdfText::extract(pdfPath);
    lines.removeAll(QString());
    const QString mismatch = PdfText::firstMismatch(printed, lines, source);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    // pdftotext ends every page with a form feed.
    QCOMPARE(previewArea(form)->pageCount(), int(printed.count(u'\f')));
}

void PrtFormTest::printCancelAndClose_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("printAttempts");

    QTest::newRow("Print") << QStringLiteral("OKButton") << int(QDialog::Accepted) << 1;
    QTest::newRow("Cancel") << QStringLiteral("CancelButton") << int(QDialog::Rejected) << 0;
    QTest::newRow("window closed") << QString() << int(QDialog::Rejected) << 0;
}

void PrtFormTest::printCancelAndClose()
{
    QFETCH(QString, action);
    QFETCH(int, result);
    QFETCH(int, printAttempts);

    const FakeReportSource source = FakeReportSource::compliantScale();
    PrtForm form(source);
    int lookups = 0;
    form.setDefaultPrinterLookup([&lookups] {
        ++lookups;
        return QPrinterInfo(); // no printer: "Print" asks about a PDF instead
    });

    ModalAnswerer answerer;
    const int outcome = runModal(form, answerer, [&action](PrtForm &shown) {
        if (action.isEmpty())
            shown.close();
        else
            shown.findChild<QPushButton *>(action)->click();
    });
    QCOMPARE(outcome, result);
    QVERIFY(!form.isVisible());
    // One to lay out the preview on the printer's pages, one per print.
    QCOMPARE(lookups, 1 + printAttempts);
    QCOMPARE(answerer.messages.size(), printAttempts);
}

void PrtFormTest::secondOpeningShowsNewState()
{
    FakeReportSource source;
    ModalAnswerer answerer;
    const auto openAndLook = [&] {
        QImage seen;
        PrtForm form(source);
        runModal(form, answerer, [&seen](PrtForm &shown) {
            seen = previewImage(shown);
            shown.findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();
        });
        return seen;
    };

    const QImage first = openAndLook();
    source = FakeReportSource::compliantScale();
    source.weightStream = true;
    const QImage second = openAndLook();

    PrtForm expected(source);
    QVERIFY(!first.isNull());
    QVERIFY(first != second);
    QCOMPARE(second, previewImage(expected));
}

void PrtFormTest::withoutPrinterSavesPdf()
{
    if (!PdfText::available())
        QSKIP("pdftotext is not installed (poppler-utils; tools/setup-pdf-printer.sh installs it)");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdfPath = dir.filePath(QStringLiteral("report.pdf"));

    FakeReportSource source = FakeReportSource::compliantScale();
    source.weightStream = true;
    PrtForm form(source);
    form.setDefaultPrinterLookup([] { return QPrinterInfo(); });

    ModalAnswerer answerer;
    int fileDialogs = 0;
    QList<QWidget *> parents;
    answerer.onModal = [&](QWidget *modal) {
        if (modal != &form)
            parents << modal->parentWidget();
        if (modal == &form) {
            QTimer::singleShot(0, &form, [&form] { button(form, "OKButton")->click(); });
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            ++fileDialogs;
            dialog->selectFile(pdfPath);
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept, checks the name
        }
        // The question is answered with its default, "Save as PDF...".
    };
    QCOMPARE(form.exec(), int(QDialog::Accepted));

    QCOMPARE(answerer.messages.size(), 1);
    QVERIFY(answerer.messages.first().contains(QStringLiteral("No default printer")));
    QCOMPARE(fileDialogs, 1);
    // The question and the file dialog open over the preview window.
    QCOMPARE(parents, QList<QWidget *>({&form, &form}));
    const QString text = PdfText::extract(pdfPath);
    QVERIFY2(!text.isEmpty(), "the PDF file was not written");
    const QStringList expected =
        PdfText::expectedLines(source, {QStringLiteral("SMA Weight stream verified correct"),
                                        QStringLiteral("SMA Level 1 Compliance Verified( ABDWZ )"),
                                        QStringLiteral("SMA Level 2 commands supported ( HPR )")});
    const QString mismatch = PdfText::firstMismatch(text, expected, source);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch + u'\n' + text));
}

void PrtFormTest::failedPdfSaveIsReported()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString unwritable = dir.filePath(QStringLiteral("no-such-folder/report.pdf"));

    const FakeReportSource source;
    PrtForm form(source);
    form.setDefaultPrinterLookup([] { return QPrinterInfo(); });

    ModalAnswerer answerer;
    QList<QWidget *> parents;
    answerer.onModal = [&](QWidget *modal) {
        if (modal != &form)
            parents << modal->parentWidget();
        if (modal == &form) {
            QTimer::singleShot(0, &form, [&form] { button(form, "OKButton")->click(); });
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            dialog->selectFile(unwritable);
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept, checks the name
        }
    };
    QCOMPARE(form.exec(), int(QDialog::Accepted));

    QCOMPARE(answerer.messages.size(), 2);
    QCOMPARE(parents, QList<QWidget *>({&form, &form, &form}));
    QVERIFY2(answerer.messages.at(1).contains(QStringLiteral("could not be saved")),
             qPrintable(answerer.messages.at(1)));
    QVERIFY(answerer.messages.at(1).contains(unwritable));
    // Why, in the file system's words: not a printer's refusal.
    QVERIFY2(answerer.messages.at(1).endsWith(QStringLiteral("\nNo such file or directory.")),
             qPrintable(answerer.messages.at(1)));
}

QTEST_MAIN(PrtFormTest)
#include "tst_PrtForm.moc"
