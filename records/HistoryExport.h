#pragma once

#include "RecordStore.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

// The check history as text, the same for the window and sma-check.

// "ID", "Ended", "MFG", "MOD", "SN", "REV", "Port", "Level 1",
// "Weight stream", "Failed".
QStringList historyHeader();
// A row as the history shows it, in the header's order; the end in local
// time as "2026-12-07 14:30:38", Level 1 "verified" or "not verified"; the
// ID of a check waiting in the bench's queue "queued".
QStringList historyFields(const HistoryRow &row);
// The same as JSON: id, ended (ISO 8601), mfg, mod, sn, rev, port, level1,
// weight_stream, failed, queued (not yet on the server).
QJsonObject historyJson(const HistoryRow &row);
// One line of CSV (RFC 4180): fields quoted where they need it, no line end.
QString csvLine(const QStringList &fields);

// Hands every row that `filter` keeps to `take`, newest first, a page at a
// time. Returns false with the store's errorString() when one cannot be read.
bool forEachHistoryRow(RecordStore &store, const QString &filter,
                       const std::function<void(const HistoryRow &)> &take);
