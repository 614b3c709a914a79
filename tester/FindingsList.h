#pragma once

#include "Findings.h"

#include <QList>

class QTreeWidget;

// A list of findings as the windows show them: severity, code, the finding
// and its evidence with control characters named. Set up once, then shown.
void setUpFindingsList(QTreeWidget *list);
void showFindings(QTreeWidget *list, const QList<Finding> &findings);
