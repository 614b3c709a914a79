#pragma once

#include "MSComm.h"

#include <QDialog>

// The "Weight stream analysis" dialog.
class OpTest : public QDialog
{
    Q_OBJECT
public:
    // `portText` is the tester's `Port` text and `publishedCommands` its
    // `cmdlist` text, both as they read when the dialog is opened.
    OpTest(const MSCommFactory &portFactory, const QString &portText,
           const QString &publishedCommands, QWidget *parent = nullptr);
    ~OpTest() override;

    // Loads the dialog (opening its port, the tare prompt) and, unless the
    // load cancelled it, shows it modally. Returns when the dialog is gone.
    int exec() override;
};
