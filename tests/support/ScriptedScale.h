#pragma once

#include "ScriptedMSComm.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// A scale answering from fixed lines: the About lines to "A" then each "B",
// the Information lines to "I" then each "N" ("?" once they run out), and
// `answers` for every other command ("?" when missing).
struct ScriptedScale
{
    QStringList about{QStringLiteral("SMA:2/1.0"), QStringLiteral("MFG:ACME"),
                      QStringLiteral("END:")};
    QStringList info{QStringLiteral("SMA:2/1.0"), QStringLiteral("CMD:ABDWZXHM"),
                     QStringLiteral("END:")};
    QHash<QString, QString> answers{
        {QStringLiteral("Z"), QStringLiteral("Z1G       0.000kg ")},
        {QStringLiteral("W"), QStringLiteral(" 1G       5.025kg ")},
        {QStringLiteral("H"), QStringLiteral(" 1g      5.0250kg ")},
        {QStringLiteral("M"), QStringLiteral(" 1T       0.000kg ")},
        {QStringLiteral("D"), QStringLiteral("    ")},
        {QStringLiteral("T"), QStringLiteral(" 1N       0.000kg ")},
        {QStringLiteral("C"), QStringLiteral(" 1G       5.025kg ")},
    };
    QByteArray lineStart = "\n";
    QByteArray lineEnd = "\r";
    bool silent = false;
    int aboutIndex = 0;
    int infoIndex = 0;

    QString answerText(const QString &command)
    {
        if (command == QLatin1String("A"))
            aboutIndex = 0;
        if (command == QLatin1String("A") || command == QLatin1String("B"))
            return about.value(aboutIndex++, QStringLiteral("?"));
        if (command == QLatin1String("I"))
            infoIndex = 0;
        if (command == QLatin1String("I") || command == QLatin1String("N"))
            return info.value(infoIndex++, QStringLiteral("?"));
        return answers.value(command, QStringLiteral("?"));
    }

    QByteArray respond(const QByteArray &frame)
    {
        if (silent || frame.size() < 2)
            return {};
        const QString command = QString::fromLatin1(frame.mid(1, frame.size() - 2));
        return lineStart + answerText(command).toLatin1() + lineEnd;
    }

    // Answers every frame written to `port` from now on.
    void answerOn(ScriptedMSComm &port)
    {
        port.responder = [this](const QByteArray &frame) { return respond(frame); };
    }
};

// The commands written to `port`, each without its LF and CR.
inline QStringList sentCommands(const ScriptedMSComm &port)
{
    QStringList commands;
    for (const QByteArray &frame : port.frames)
        commands << QString::fromLatin1(frame.mid(1, frame.size() - 2));
    return commands;
}
