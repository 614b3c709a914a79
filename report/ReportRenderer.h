#pragma once

class QString;
class ReportSource;
class ReportTarget;

// Where a rendering goes: the preview is cleared first, the printed document
// is ended last. The lines in between are the same for both.
enum class ReportMedium { Printer, Preview };

// Writes the compliance report for the tester's current state to `target`.
// Every source is read afresh; the two compliance checks are asked only when
// the verdict before them allows it (weight stream verified, then Level 1).
void renderReport(ReportTarget &target, const ReportSource &source, ReportMedium medium);

// The line at the foot of page `page` of `pages` of a printed or previewed
// report, apart from its lines: "Page 1 of 2 · 2026-12-07 14:03 · port
// /dev/ttyUSB0 · SMA Compliance Tester 1.0" (the local time the run ended,
// or now before any run; the port as typed; this program's version).
QString reportFooter(int page, int pages, const ReportSource &source);

// This program's version, as the footer and a check's record name it: "1.0".
QString programVersion();

// Whether the report says "SMA Level 1 Compliance Verified( ABDWZ )": the
// weight stream was verified, and then the five Level 1 commands passed.
bool reportVerifiesLevel1(const ReportSource &source);
