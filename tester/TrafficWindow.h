#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;
class QTableView;
class QTreeWidget;
class SmaSession;
class TrafficModel;

// The "Serial Traffic" window: every frame sent to the scale and received
// from it since Start, with what became of it, following the run live; the
// findings of the last run below. It only shows what the session records.
class TrafficWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TrafficWindow(const SmaSession &session, QWidget *parent = nullptr);

    // Writes the traffic as text lines; returns why it could not, if it could not.
    QString saveTo(const QString &fileName) const;

protected:
    // Seams for tests: the file name asked for, and a failure to tell.
    virtual QString askFileName();
    virtual void showFailure(const QString &text, const QString &detail);

private:
    void save();
    void showFindings();

    const SmaSession &m_session;
    TrafficModel *m_model;
    QTableView *m_view;
    QCheckBox *m_showHex;
    QPushButton *m_save;
    QTreeWidget *m_findings;
    bool m_following = true;
};
