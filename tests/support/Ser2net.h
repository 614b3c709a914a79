#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

// Scales on the network for the tests, over loopback only.

// A TCP port on loopback that nothing listens on now.
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Debian's ser2net bridging `device` as an RFC 2217 Telnet port on loopback,
// in the foreground, for as long as the object lives.
struct Ser2net
{
    QProcess process;
    QTemporaryDir dir;
    quint16 port = 0;

    QString start(const QString &device)
    {
        const QString program =
            QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/usr/bin"});
        if (program.isEmpty())
            return QStringLiteral("ser2net is not installed (tools/install-deps.sh test)");
        port = freePort();
        QFile config(dir.filePath("ser2net.yaml"));
        if (!config.open(QIODevice::WriteOnly))
            return config.errorString();
        config.write(QStringLiteral("%YAML 1.1\n---\nconnection: &scale\n"
                                    "    accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                    "    enable: on\n"
                                    "    options:\n      kickolduser: true\n"
                                    "      chardelay: false\n"
                                    "    connector: serialdev,%2,9600n81,local\n")
                         .arg(port)
                         .arg(device)
                         .toUtf8());
        config.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {"-n", "-d", "-c", config.fileName()});
        if (!process.waitForStarted())
            return QStringLiteral("ser2net did not start: ") + process.errorString();
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && process.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(200))
                return {};
            QTest::qWait(50);
        }
        return QStringLiteral("ser2net did not listen: ") + QString::fromUtf8(process.readAll());
    }
    ~Ser2net()
    {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished();
    }
};
