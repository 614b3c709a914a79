#pragma once

#include <QString>

class QPrinter;
class QPrinterInfo;
class ReportSource;

struct PrintOutcome
{
    bool ok = false;
    QString error; // why it failed, in the operator's words; empty when ok
};

// Prints the report on `printer` (a real printer or a PDF file) as one
// document, starting new pages as the report grows past the first.
PrintOutcome printReport(QPrinter &printer, const ReportSource &source);

// Writes the report to the PDF file `fileName` as the printer would print it.
// When the file cannot be written, the error says why in the file system's
// words (no such folder, permission denied, ...).
PrintOutcome saveReportAsPdf(const QString &fileName, const QString &title,
                             const ReportSource &source);

// Prints the report as one CUPS job titled `title` on `printer`: laid out on
// that printer's page, written to a PDF file and handed to CUPS by this
// program, so that a refusal is this job's own and comes with CUPS's reason.
PrintOutcome printReportOn(const QPrinterInfo &printer, const QString &title,
                           const ReportSource &source);
