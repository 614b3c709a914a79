#include "QSerialMSComm.h"
#include "smaForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SMA Compliance Tester"));

    smaForm window([](QObject *parent) -> MSComm * { return new QSerialMSComm(parent); });
    window.show();
    return app.exec();
}
