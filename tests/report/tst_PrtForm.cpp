#include "FakeReportSource.h"
#include "ModalAnswerer.h"
#include "PdfText.h"
#include "PrtForm.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

QWidget *previewArea(PrtForm &form)
{
    return form.findChild<QWidget *>(QStringLiteral("PrintPreview"));
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
    void repaintShowsOneCopy();
    void tallReportIsClippedNotScaled();
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

    // "Print" has the focus, "Cancel" comes next.
    QTRY_COMPARE(QApplication::focusWidget(), print);
    QCOMPARE(print->nextInFocusChain(), cancel);

    // The preview area is 9495 x 7575 twips; the buttons sit side by side
    // under it, right-aligned with it, inside the window.
    const QRect area = previewArea(form)->geometry();
    QCOMPARE(area.size(), QSize(twipsToPixels(9495, form), twipsToPixels(7575, form)));
    QVERIFY(print->geometry().top() > area.bottom());
    QCOMPARE(print->geometry().top(), cancel->geometry().top());
    QVERIFY(print->geometry().right() < cancel->geometry().left());
    QVERIFY(qAbs(cancel->geometry().right() - area.right()) <= 1);
    QVERIFY(form.rect().contains(cancel->geometry()));
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

void PrtFormTest::tallReportIsClippedNotScaled()
{
    const FakeReportSource tall = sourceWithRows(300);
    const FakeReportSource justOverflowing = sourceWithRows(60);
    PrtForm tallForm(tall);
    PrtForm shorterForm(justOverflowing);
    tallForm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tallForm));

    const QImage image = previewImage(tallForm);
    QCOMPARE(previewArea(tallForm)->size(),
             QSize(twipsToPixels(9495, tallForm), twipsToPixels(7575, tallForm)));
    QVERIFY(tallForm.findChildren<QScrollBar *>().isEmpty());
    // Shrinking the report to fit would make the two differ.
    QCOMPARE(image, previewImage(shorterForm));

    // Rows reach down to the bottom edge: the report is cut off there.
    const QColor background = previewArea(tallForm)->palette().color(QPalette::Window);
    bool inkNearBottom = false;
    for (int y = image.height() - 12; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inkNearBottom |= image.pixelColor(x, y) != background;
    QVERIFY(inkNearBottom);
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
    QCOMPARE(lookups, printAttempts);
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
    answerer.onModal = [&](QWidget *modal) {
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
    const QString text = PdfText::extract(pdfPath);
    QVERIFY2(!text.isEmpty(), "the PDF file was not written");
    const QStringList expected =
        PdfText::expectedLines(source, {QStringLiteral("SMA Weight stream verified correct"),
                                        QStringLiteral("SMA Level 1 Compliance Verified( ABDWZ )"),
                                        QStringLiteral("SMA Level 2 commands supported ( HPR )")});
    const QString mismatch = PdfText::firstMismatch(text, expected);
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
    answerer.onModal = [&](QWidget *modal) {
        if (modal == &form) {
            QTimer::singleShot(0, &form, [&form] { button(form, "OKButton")->click(); });
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            dialog->selectFile(unwritable);
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept, checks the name
        }
    };
    QCOMPARE(form.exec(), int(QDialog::Accepted));

    QCOMPARE(answerer.messages.size(), 2);
    QVERIFY2(answerer.messages.at(1).contains(QStringLiteral("could not be saved")),
             qPrintable(answerer.messages.at(1)));
    QVERIFY(answerer.messages.at(1).contains(unwritable));
    // Why, in the file system's words: not a printer's refusal.
    QVERIFY2(answerer.messages.at(1).endsWith(QStringLiteral("\nNo such file or directory.")),
             qPrintable(answerer.messages.at(1)));
}

QTEST_MAIN(PrtFormTest)
#include "tst_PrtForm.moc"
