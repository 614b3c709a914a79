#include "AnyPortMSComm.h"
#include "smaForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SMA Compliance Tester"));
    // The menu entry installed with the tester, so that a desktop shows its
    // icon and name for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.smacompliancetester.Tester"));

    smaForm window(makeAnyPort);
    window.show();
    return app.exec();
}
