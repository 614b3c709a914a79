#include "PrtForm.h"

// Placeholder until the report lands.
PrtForm::PrtForm(const ReportSource &, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PrtForm"));
}

PrtForm::~PrtForm() = default;

void PrtForm::DoPrintJob() {}
void PrtForm::DoPrintPreview() {}
