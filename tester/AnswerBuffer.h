#pragma once

#include <QByteArray>

#include <optional>

// Takes the first answer line out of the receive buffer: the text between the
// first LF and the first CR. Whatever stands before that LF goes with it.
// When the CR comes right after the LF, or before it (a scale ending lines
// with CR LF), the answer is empty and the whole buffer is dropped. Returns
// nothing, and leaves the buffer alone, while either character is missing.
std::optional<QByteArray> takeAnswer(QByteArray &buffer);

// An answer passes unless it contains "?" anywhere.
bool answerPasses(const QByteArray &answer);
const char *resultText(bool passed); // "Passed" / "Failed"

// Keeps a buffer that has not yielded an answer from growing without bound
// when a device floods bytes: past `limit` bytes only the text from the last
// LF on survives, if that is short enough, and otherwise nothing.
inline constexpr qsizetype kReceiveBufferLimit = 4096;
void limitUnansweredBuffer(QByteArray &buffer, qsizetype limit = kReceiveBufferLimit);
