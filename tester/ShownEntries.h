#pragma once

#include "PortList.h"

#include <QList>
#include <QStringList>
#include <qnamespace.h>

class QCompleter;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

// Bringing the window's lists and boxes to what the session holds, in place,
// so that a redraw moves neither the operator's selection nor the scroll
// position, and raises no change notification of its own.

// The check mark of a list entry as the window last showed it, so that a
// change of text or of anything else is not taken for a tick.
inline constexpr int kShownCheckRole = Qt::UserRole + 1;

// `texts` as checkable entries, ticked as `ticks` says, each with its `why`
// as a tool tip (and as its accessible description with `describe`).
void showEntries(QListWidget *list, const QStringList &texts, const QList<bool> &ticks,
                 const QStringList &why, bool describe);
// One line of the box for each of `lines`.
void showLines(QPlainTextEdit *box, const QStringList &lines);
void showText(QLineEdit *box, const QString &text);
// A note that is shown only while it has a text, with `why` as its tool tip
// and accessible description; returns whether it changed.
bool showNote(QLabel *note, const QString &text, const QString &why);
// The ports a port box completes, each as its summary, completing to its
// location.
void showPorts(QCompleter *completer, const QList<PresentPort> &ports);
