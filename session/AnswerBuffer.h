#pragma once

#include <QByteArray>

#include <optional>

// Takes the first answer line out of the receive buffer: the text between the
// first CR and the last LF before it. Whatever stands before that LF goes with it;
// what follows the CR stays for later. A CR with no LF before it is noise and
// is dropped up to and including the CR. LF directly followed by CR is the
// empty answer. Returns nothing while no complete answer is there.
std::optional<QByteArray> takeAnswer(QByteArray &buffer);

// An answer passes unless it contains "?" anywhere.
bool answerPasses(const QByteArray &answer);

// Keeps a buffer that has not yielded an answer from growing without bound
// when a device floods bytes: past `limit` bytes only the text from the last
// LF on survives, if that is short enough, and otherwise nothing. Only for a
// buffer that holds no complete answer.
inline constexpr qsizetype kReceiveBufferLimit = 4096;
void limitUnansweredBuffer(QByteArray &buffer, qsizetype limit = kReceiveBufferLimit);
