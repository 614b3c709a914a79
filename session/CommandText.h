#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// How commands look on the wire and in the list of tested commands.

// Printable name of one character: "<LF>", "<CR>", "^" for a blank, the
// character itself for 33..126, "<DEL>" for 127 and "<?>" above.
QString CharName(unsigned char code);

// Bytes as the tester shows what a scale sent: control characters and bytes
// above 126 by their names ("<LF>", "<STX>", "<DEL>", "<?>"), blanks kept as
// blanks, every other character as itself.
QString printableBytes(const QByteArray &bytes);

// "<LF>", the command, "<CR>": the entry text of a tested command.
QString printableForm(const QString &command);

// Data for a command with data, cut just before the first "<CR>" marker
// unless the marker stands at its very start.
QString trimAtCrMarker(const QString &data);

// Entries of one-letter commands are exactly this long; longer entries carry data.
inline constexpr int kPlainEntryLength = 9;

// Position of the first character of `text` that has no single byte on the
// wire (anything outside Latin-1), or -1 when every character can be sent.
qsizetype firstUnsendableCharacter(const QString &text);

// The 26 unit codes of the units test, three characters each, in the order
// they are offered ("lb " first, three blanks last).
const QStringList &smaUnitCodes();
