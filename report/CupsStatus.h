#pragma once

#include <QString>

// Qt hands a printed document to CUPS but ignores whether CUPS took it
// (a queue that rejects jobs, a stopped scheduler). libcups keeps the
// outcome of the last request of each thread; this reads it.
namespace CupsStatus {

// The error of the last CUPS request made on this thread, or an empty
// string when it succeeded or CUPS is not in use in this process.
QString lastRequestError();

} // namespace CupsStatus
