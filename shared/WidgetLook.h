#pragma once

#include <QColor>
#include <QFont>

class QLabel;
class QPushButton;
class QString;
class QWidget;

// Looks the windows share.

// Courier New where it exists (or a metric twin of it), the system's
// fixed-pitch font where not, at `points` points.
QFont fixedPitchFont(qreal points);

// A disabled box or list that shows what the program wrote keeps its text as
// readable as an enabled one's, and `background` as its background if given.
void keepReadableWhenDisabled(QWidget *widget, const QColor &background = QColor());

// A button named `objectName`, whose accessible name is its caption without
// the accelerator's "&", and which Enter in a box next to it does not press.
QPushButton *captionedButton(const QString &caption, const QString &objectName, QWidget *parent);

// A label leading the keyboard to `buddy` (its accelerator moves the focus
// there), which screen readers announce by the label's caption.
QLabel *buddyLabel(const QString &caption, QWidget *buddy, QWidget *parent);
