#include "PrtForm.h"

#include "ReportPreviewArea.h"
#include "ReportPrinting.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>

namespace {

// The window's layout, in twips (1/1440 inch) of its client area.
constexpr int ClientWidth = 9750;
constexpr int ClientHeight = 8265;
constexpr QRect PreviewTwips(120, 120, 9495, 7575);
constexpr QRect OKButtonTwips(7080, 7800, 1215, 375);
constexpr QRect CancelButtonTwips(8400, 7800, 1215, 375);

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

    // "Print" first, so it has the focus when the window opens.
    m_preview->setFocusPolicy(Qt::NoFocus);
    setTabOrder(m_okButton, m_cancelButton);
    m_okButton->setDefault(true);
    m_okButton->setFocus();

    layOutControls();

    connect(m_okButton, &QPushButton::clicked, this, &PrtForm::onOKButtonClicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &PrtForm::onCancelButtonClicked);
}

PrtForm::~PrtForm() = default;

void PrtForm::layOutControls()
{
    const qreal pixelsPerTwip = logicalDpiX() / 1440.0;
    const auto toPixels = [pixelsPerTwip](const QRect &twips) {
        return QRect(qRound(twips.x() * pixelsPerTwip), qRound(twips.y() * pixelsPerTwip),
                     qRound(twips.width() * pixelsPerTwip), qRound(twips.height() * pixelsPerTwip));
    };
    setFixedSize(toPixels(QRect(0, 0, ClientWidth, ClientHeight)).size());
    m_preview->setGeometry(toPixels(PreviewTwips));
    m_okButton->setGeometry(toPixels(OKButtonTwips));
    m_cancelButton->setGeometry(toPixels(CancelButtonTwips));
}

void PrtForm::setDefaultPrinterLookup(PrinterLookup lookup)
{
    m_defaultPrinter = std::move(lookup);
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
    m_preview->repaint();
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
                         QMessageBox::NoButton, this);
    question.setInformativeText(tr("Do you want to save the report as a PDF file instead?"));
    QPushButton *save = question.addButton(tr("Save as PDF..."), QMessageBox::AcceptRole);
    question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(save);
    question.exec();
    if (question.clickedButton() != save)
        return;

    QFileDialog dialog(this, tr("Save Report as PDF"));
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
    QMessageBox box(QMessageBox::Warning, title, what, QMessageBox::Ok, this);
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
