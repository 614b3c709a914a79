#pragma once

#include <QDialog>

class ReportSource;

// The "Print Preview" window: shows the compliance report and prints it.
class PrtForm : public QDialog
{
    Q_OBJECT
public:
    explicit PrtForm(const ReportSource &source, QWidget *parent = nullptr);
    ~PrtForm() override;

    void DoPrintJob();
    void DoPrintPreview();
};
