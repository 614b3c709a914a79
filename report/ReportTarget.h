#pragma once

#include <QString>
#include <QStringList>

// A surface the compliance report is written to: a printer or the preview
// area. The report only ever prints whole lines and changes bold and size of
// the target's current font; everything else (typeface, colour, tab stops)
// belongs to the target.
class ReportTarget
{
public:
    virtual ~ReportTarget() = default;

    // Prints `text` at the current position in the current style, then moves
    // to the left edge one line lower. Line breaks inside the text start new
    // lines; a TAB advances to the next tab stop.
    virtual void print(const QString &text) = 0;
    virtual void setBold(bool on) = 0;
    virtual void setSize(int points) = 0;
    // Finishes the document, so that what was printed goes out as one job.
    virtual void endDoc() = 0;
    // Clears the whole surface and goes back to its top-left corner.
    virtual void clear() = 0;
};

// The lines one print() puts on a target: the scale's texts end their lines
// with CR LF, and a lone CR (the separator line) or a lone LF also starts a
// new line, so no control character but TAB is ever drawn. An empty text,
// and the text after a final line end, give one empty line each. Every
// target splits its text here, so the printed report, the preview and the
// report's text lines agree line for line.
QStringList splitReportLines(const QString &text);

// Where the `number`th TAB of a line (counted from 1) puts the text after it,
// when the text before it ends at `x`: at the tab stop of that number,
// `number` x `stopWidth` from the line's start, or `gap` after the text where
// the text comes closer to that stop than `gap`. The stop is found by the
// TAB's number rather than by `x`, so that a text running past a stop or two
// (a tare row "<LF>T000001.000<CR>") does not push the columns after it
// further right: the results of all rows line up.
qreal reportTabPosition(qreal x, int number, qreal stopWidth, qreal gap);

// `line` for a terminal, whose tab stops the report cannot move: each TAB
// becomes the blanks up to reportTabPosition() in columns of 8, one at least,
// so that the results line up there as on paper.
QString expandReportTabs(const QString &line);
