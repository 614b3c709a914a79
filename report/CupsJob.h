#pragma once

#include <QString>

// Hands a finished document to a CUPS print queue as one job.
namespace CupsJob {

struct Submission
{
    int jobId = 0; // CUPS's id of the job; 0 when CUPS did not take it
    QString error; // why CUPS did not take the job; empty when it did
};

// Queues the PDF file `pdfPath` on the CUPS printer `printer` under the job
// title `title`. The file is sent with the request, so it may be removed
// as soon as this returns.
Submission printPdf(const QString &printer, const QString &pdfPath, const QString &title);

} // namespace CupsJob
