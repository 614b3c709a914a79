#pragma once

#include <QString>
#include <QStringList>

struct FakeReportSource;

namespace PdfText {

// Whether pdftotext can be run; the PDF checks need it.
bool available();
// The text of a PDF file as pdftotext lays it out, ligatures split into
// letters; null when it cannot be read.
QString extract(const QString &pdfPath);
// Patterns for the lines the report prints for `source`, ending with the
// given verdict lines, in order. Columns separated by TABs may come out of
// the PDF as any run of blanks.
QStringList expectedLines(const FakeReportSource &source, const QStringList &verdicts);
// The first pattern not found after the one before it; empty when all are in order.
QString firstMissing(const QString &text, const QStringList &patterns);

} // namespace PdfText
