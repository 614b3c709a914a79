#pragma once

#include "SmaSession.h"

#include <QByteArray>
#include <QString>

// A tested command's verdict and what it rests on, in one sentence, so that
// the window's rows, the command-line check's progress lines and its JSON
// all say it alike:
//   Passed — "SMA:2/1.0" after 12 ms
//   Failed — "?" after 8 ms (not published)
//   Failed — no answer within 3000 ms
//   Pending — waiting for the answer
// An entry still awaiting its first answer reads "waiting for the answer".
//
// A failed one-letter command that is neither a Level 1 command (A, B, D, W,
// Z) nor among `published`, the letters of the scale's "CMD:" line, is marked
// "(not published)": the scale never offered it, so its failure says little.
QString verdictEvidence(const TestedCommand &command, const QString &published);
