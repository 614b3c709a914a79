#include "PrtForm.h"

#include "ReportPreviewArea.h"
#include "ReportPrinting.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QStandardPaths>

namespace {

// The window as it opens, in twips (1/1440 inch) of its client area: the
// preview fills it but for the margins, "Print" and "Cancel" sit under it,
// right-aligned with it. Resizing the window resizes the preview; the
// buttons keep their place in the bottom right corner.
constexpr QSize ClientTwips(9750, 8265);
constexpr QRect PreviewTwips(120, 120, 9495, 7575);
constexpr QSize ButtonTwips(1215, 375);
constexpr int ButtonGapTwips = 105; // between the buttons, and above them
constexpr int BottomMarginTwips = 90;
// Small enough for any screen, big enough to show some of a page.
constexpr QSize MinimumClientTwips(4800, 3600);

const char *const ReportDocumentName = "SMA Compliance Report";

} // namespace

PrtForm::PrtForm(const ReportSource &source, QWidget *parent)
    : QDialog(parent), m_source(source), m_preview(new ReportPreviewArea(source, this)),
      m_okButton(new QPushButton(tr("Print"), this)),
      m_cancelButton(new QPushButton(tr("Cancel"), this)),
      m_defaultPrinter([] { return QPrinterInfo::defaultPrinter(); })
{
    setObjectName(QStringLiteral("PrtForm"));
    setWindowTitle(tr("Print Preview"));
    setAccessibleName(windowTitle());

    m_preview->setObjectName(QStringLiteral("PrintPreview"));
    m_preview->setAccessibleName(tr("Print Preview"));
    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setAccessibleName(m_okButton->text());
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));
    m_cancelButton->setAccessibleName(m_cancelButton->text());

    // "Print" first, so it has the focus when the window opens; the preview
    // last, where the keyboard can scroll and zoom it.
    setTabOrder(m_okButton, m_cancelButton);
    setTabOrder(m_cancelButton, m_preview);
    m_okButton->setDefault(true);
    m_okButton->setFocus();

    setMinimumSize(twipsToPixels(MinimumClientTwips));
    resize(twipsToPixels(ClientTwips));
    layOutControls();
    layOutPreviewPages();

    connect(m_okButton, &QPushButton::clicked, this, &PrtForm::onOKButtonClicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &PrtForm::onCancelButtonClicked);
}

PrtForm::~PrtForm() = default;

int PrtForm::twipsToPixels(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

QSize PrtForm::twipsToPixels(QSize twips) const
{
    return QSize(twipsToPixels(twips.width()), twipsToPixels(twips.height()));
}

void PrtForm::layOutControls()
{
    const int leftMargin = twipsToPixels(PreviewTwips.left());
    const int topMargin = twipsToPixels(PreviewTwips.top());
    const int rightMargin =
        twipsToPixels(ClientTwips.width() - PreviewTwips.left() - PreviewTwips.width());
    const int bottomMargin = twipsToPixels(BottomMarginTwips);
    const int gap = twipsToPixels(ButtonGapTwips);
    // Larger fonts get larger buttons.
    const QSize button = twipsToPixels(ButtonTwips)
                             .expandedTo(m_okButton->minimumSizeHint())
                             .expandedTo(m_cancelButton->minimumSizeHint());

    const QPoint cancelAt(width() - rightMargin - button.width(),
                          height() - bottomMargin - button.height());
    m_cancelButton->setGeometry(QRect(cancelAt, button));
    m_okButton->setGeometry(QRect(cancelAt - QPoint(gap + button.width(), 0), button));
    m_preview->setGeometry(leftMargin, topMargin, width() - leftMargin - rightMargin,
                           cancelAt.y() - gap - topMargin);
}

void PrtForm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    layOutControls();
}

void PrtForm::layOutPreviewPages()
{
    // The page a print gets (see ReportPrinting.cpp): the default printer's
    // paper and margins, or a PDF file's own without a printer, at the
    // resolution the report is written to PDF in.
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    const QPrinterInfo printerInfo = m_defaultPrinter();
    if (!printerInfo.isNull())
        pdf.setPageLayout(QPrinter(printerInfo, QPrinter::HighResolution).pageLayout());
    m_preview->setPageLayout(pdf.pageLayout(), pdf.resolution());
}

QWidget *PrtForm::messageParent()
{
    // Before the window shows there is nothing of it to centre on.
    return isVisible() ? this : parentWidget();
}

void PrtForm::setDefaultPrinterLookup(PrinterLookup lookup)
{
    m_defaultPrinter = std::move(lookup);
    layOutPreviewPages();
}

void PrtForm::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        DoPrintPreview();
}

void PrtForm::DoPrintPreview()
{
    // The area draws the report itself on every paint, from a cleared surface.
    m_preview->viewport()->repaint();
}

void PrtForm::DoPrintJob()
{
    const QPrinterInfo printerInfo = m_defaultPrinter();
    if (printerInfo.isNull()) {
        offerPdfInstead();
        return;
    }
    const PrintOutcome outcome =
        printReportOn(printerInfo, QString::fromLatin1(ReportDocumentName), m_source);
    if (!outcome.ok)
        showFailure(tr("Print"),
                    tr("The report could not be printed on \"%1\".").arg(printerInfo.printerName()),
                    outcome.error);
}

void PrtForm::offerPdfInstead()
{
    QMessageBox question(QMessageBox::Information, tr("Print"),
                         tr("No default printer is set up, so the report cannot be printed."),
                         QMessageBox::NoButton, messageParent());
    question.setInformativeText(tr("Do you want to save the report as a PDF file instead?"));
    QPushButton *save = question.addButton(tr("Save as PDF..."), QMessageBox::AcceptRole);
    question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(save);
    question.exec();
    if (question.clickedButton() != save)
        return;

    QFileDialog dialog(messageParent(), tr("Save Report as PDF"));
    dialog.setObjectName(QStringLiteral("SavePdfDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(tr("PDF files (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog.setDirectory(QDir(documents).exists() ? documents : QDir::homePath());
    dialog.selectFile(QString::fromLatin1(ReportDocumentName) + QStringLiteral(".pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveAsPdf(dialog.selectedFiles().constFirst());
}

void PrtForm::saveAsPdf(const QString &fileName)
{
    const PrintOutcome outcome =
        saveReportAsPdf(fileName, QString::fromLatin1(ReportDocumentName), m_source);
    if (!outcome.ok)
        showFailure(
            tr("Save as PDF"),
            tr("The report could not be saved as \"%1\".").arg(QDir::toNativeSeparators(fileName)),
            outcome.error);
}

void PrtForm::showFailure(const QString &title, const QString &what, const QString &why)
{
    QMessageBox box(QMessageBox::Warning, title, what, QMessageBox::Ok, messageParent());
    box.setInformativeText(why);
    box.exec();
}

void PrtForm::onOKButtonClicked()
{
    DoPrintJob();
    accept();
}

void PrtForm::onCancelButtonClicked()
{
    reject();
}
