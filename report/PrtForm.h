#pragma once

#include <QDialog>
#include <QPrinterInfo>

#include <functional>

class QPushButton;
class ReportPreviewArea;
class ReportSource;

// The "Print Preview" window: shows the compliance report on the pages it
// prints on and prints it. The preview is redrawn from the tester's state
// whenever the window is activated or repainted; it scrolls through every
// page and zooms. "Print" prints one copy and closes the window, "Cancel" or
// closing the window closes it without printing. The window opens over
// `parent`, and its messages open over it.
class PrtForm : public QDialog
{
    Q_OBJECT
public:
    explicit PrtForm(const ReportSource &source, QWidget *parent = nullptr);
    ~PrtForm() override;

    // Prints the report on the default printer as one document. Without a
    // default printer the operator is offered to save it as a PDF file.
    void DoPrintJob();
    // Redraws the preview area from a cleared surface.
    void DoPrintPreview();

    // How the default printer is found; tests replace it to choose whether a
    // printer exists. The preview shows the pages of the printer it finds.
    using PrinterLookup = std::function<QPrinterInfo()>;
    void setDefaultPrinterLookup(PrinterLookup lookup);

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int twipsToPixels(int twips) const;
    QSize twipsToPixels(QSize twips) const;
    void layOutControls();
    void layOutPreviewPages();
    // Messages open over the window, or over its parent before it shows.
    QWidget *messageParent();
    void onOKButtonClicked();
    void onCancelButtonClicked();
    void offerPdfInstead();
    void saveAsPdf(const QString &fileName);
    void showFailure(const QString &title, const QString &what, const QString &why);

    const ReportSource &m_source;
    ReportPreviewArea *m_preview;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
    PrinterLookup m_defaultPrinter;
};
