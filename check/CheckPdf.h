#pragma once

#include <QString>

class QCoreApplication;
class ReportSource;

// Drawing a PDF needs Qt's GUI and print support, whose libraries cost every
// run of sma-check time and memory to load. They live in a module of their
// own, loaded only when a PDF is asked for; these are its two entry points,
// looked up by name.

// Makes the application object the drawing needs: a QGuiApplication on the
// offscreen platform unless QT_QPA_PLATFORM chooses another, so no display is
// needed.
extern "C" QCoreApplication *smaCheckGuiApplication(int *argc, char **argv);
using SmaCheckGuiApplication = QCoreApplication *(*)(int *argc, char **argv);

// Writes the report for `source` to the PDF file `fileName`, as the preview
// draws it. `error` says why it could not; it is left empty when it was written.
extern "C" void smaCheckSavePdf(const QString &fileName, const ReportSource &source,
                                QString &error);
using SmaCheckSavePdf = void (*)(const QString &fileName, const ReportSource &source,
                                 QString &error);
