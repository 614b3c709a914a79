#pragma once

#include "CheckComparison.h"

#include <QWidget>

// "Compare Checks": what changed from an earlier check to a later one, one
// row per difference, regressions marked.
class ComparisonWindow : public QWidget
{
    Q_OBJECT
public:
    ComparisonWindow(const QString &title, const QList<CheckChange> &changes,
                     QWidget *parent = nullptr);
};
