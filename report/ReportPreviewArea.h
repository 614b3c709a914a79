#pragma once

#include <QWidget>

class ReportSource;

// The drawing area of the print preview. Every paint clears the whole area
// and draws the report afresh from the tester's current state, so it always
// shows exactly one up-to-date copy. What does not fit is cut off.
class ReportPreviewArea : public QWidget
{
    Q_OBJECT
public:
    explicit ReportPreviewArea(const ReportSource &source, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const ReportSource &m_source;
};
