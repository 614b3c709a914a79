#pragma once

#include <QString>

class QPrinter;
class ReportSource;

struct PrintOutcome
{
    bool ok = false;
    QString error; // why it failed, in the operator's words; empty when ok
};

// Prints the report on `printer` (a real printer or a PDF file) as one
// document, starting new pages as the report grows past the first.
PrintOutcome printReport(QPrinter &printer, const ReportSource &source, bool weightStreamOK);
