#pragma once

#include <QString>
#include <QStringList>

struct FakeReportSource;
class ReportSource;

// Reads a PDF's text back with pdftotext and holds it against the report's
// lines, character for character.
//
// What pdftotext cannot give back, and so is not compared:
// - a TAB: the gap it leaves comes out as a run of blanks;
// - empty lines: their number follows the vertical gaps, not the report;
// - a run of two or more blanks inside a column: poppler leaves blank
//   characters out of the text it extracts and puts one blank into each gap
//   between words, so "<LF>U   <CR>" reads "<LF>U <CR>". (A report printed
//   through the cups-pdf queue holds no blank characters at all: Ghostscript
//   writes them as distances.) A line holding such a run is reported as a
//   mismatch rather than compared loosely.
namespace PdfText {

// Whether pdftotext can be run; the PDF checks need it.
bool available();
// The text of a PDF file exactly as pdftotext lays it out (nothing is
// normalised, so a ligature shows as what the file says); null when it cannot
// be read.
QString extract(const QString &pdfPath);
// The lines the report prints for `source`, TABs included, ending with the
// given verdict lines, in order; the empty lines are left out.
QStringList expectedLines(const FakeReportSource &source, const QStringList &verdicts);
// Compares the non-empty lines of `text` one by one with `lines`: each must
// read exactly the same, except that a run of TABs may stand as a run of
// blanks; no line may be missing or added. Every page must end with its
// footer, "Page 1 of 2 · 2026-12-07 14:03 · port /dev/ttyUSB0 · SMA
// Compliance Tester 1.0", naming the time and port of `footerSource`
// exactly. Says what differs first; empty when all lines match.
QString firstMismatch(const QString &text, const QStringList &lines,
                      const ReportSource &footerSource);

} // namespace PdfText
