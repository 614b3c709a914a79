#pragma once

#include "ReportTarget.h"

#include <QStringList>

class ReportSource;

// Keeps the report as its lines of text, split where the printed report and
// the preview start a new line, TABs kept as TAB characters. Bold and size
// are not kept. Needs no display, so a program without one can show or save
// exactly the lines the preview draws.
class TextReportTarget : public ReportTarget
{
public:
    void print(const QString &text) override { m_lines += splitReportLines(text); }
    void setBold(bool) override {}
    void setSize(int) override {}
    void endDoc() override {}
    void clear() override { m_lines.clear(); }

    const QStringList &lines() const { return m_lines; }

private:
    QStringList m_lines;
};

// The report for `source` as the preview shows it, line by line.
QStringList reportLines(const ReportSource &source);
