#pragma once

#include <QByteArray>
#include <QJsonObject>

struct CheckRecord;
struct TestedCommand;

// One tested command: command (as sent, without LF and CR), printable,
// result, answer (or null), ms (or null) and evidence.
QJsonObject commandJson(const TestedCommand &command, const QString &published);

// The whole run as one object: port, about, info, published, commands, tare,
// units, weight_stream, flags_seen, level1 (the report's verdict),
// level1_commands (A, B, D, W and Z passed), level2_commands, report,
// findings, exit; and changes, when the check was compared with an earlier one.
QJsonObject checkJson(const CheckRecord &record);

// checkJson() as indented text.
QByteArray checkJsonText(const CheckRecord &record);
