#pragma once

#include "CheckRecord.h"

#include <QString>

#include <optional>

// Reads back a check that sma-check --json wrote, as far as comparing it with
// another check needs: port, end, listings and the scale's identity, every
// tested command with its result and answer, tare and units, the weight
// stream, findings and report. Level 1 is judged afresh from the commands.
// Returns nullopt with `error` saying why when the file cannot be read or
// is no such JSON.
std::optional<CheckRecord> readCheckJson(const QString &path, QString *error);
