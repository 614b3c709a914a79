#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// Looks the windows share.

// Courier New where it exists (or a metric twin of it), the system's
// fixed-pitch font where not, at `points` points.
QFont fixedPitchFont(qreal points);

// A disabled box or list that shows what the program wrote keeps its text as
// readable as an enabled one's, and `background` as its background if given.
void keepReadableWhenDisabled(QWidget *widget, const QColor &background = QColor());
