#pragma once

class QString;

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
