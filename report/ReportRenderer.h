#pragma once

class ReportSource;
class ReportTarget;

// Where a rendering goes: the preview is cleared first, the printed document
// is ended last. The lines in between are the same for both.
enum class ReportMedium { Printer, Preview };

// Writes the compliance report for the tester's current state to `target`.
// Every source is read afresh; the two compliance checks are asked only when
// the verdict before them allows it (weight stream verified, then Level 1).
void renderReport(ReportTarget &target, const ReportSource &source, ReportMedium medium);
