#include "TrafficWindow.h"

#include "FindingsList.h"
#include "SmaSession.h"
#include "TrafficModel.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

TrafficWindow::TrafficWindow(const SmaSession &session, QWidget *parent)
    : QWidget(parent, Qt::Window), m_session(session),
      m_model(new TrafficModel(session.traffic(), this)), m_view(new QTableView(this)),
      m_showHex(new QCheckBox(QStringLiteral("Show &hex"), this)),
      m_save(new QPushButton(QStringLiteral("&Save..."), this)), m_findings(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("TrafficWindow"));
    setWindowTitle(QStringLiteral("Serial Traffic"));

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_view->setObjectName(QStringLiteral("traffic"));
    m_view->setModel(m_model);
    m_view->setFont(fixed);
    m_view->setWordWrap(false);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->verticalHeader()->hide();
    // Rows of one height let the view lay out 100,000 lines without measuring them.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->horizontalHeader()->setSectionResizeMode(TrafficModel::Bytes, QHeaderView::Stretch);
    m_view->setColumnWidth(TrafficModel::Time,
                           m_view->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
    m_view->setColumnWidth(TrafficModel::Note, m_view->fontMetrics().horizontalAdvance(
                                                   QStringLiteral("answer to <LF>T000001.000<CR> "
                                                                  "after 3000 ms")));
    auto *trafficHeading = new QLabel(QStringLiteral("&Traffic"), this);
    trafficHeading->setBuddy(m_view);
    m_view->setAccessibleName(QStringLiteral("Traffic"));

    m_showHex->setObjectName(QStringLiteral("ShowHex"));
    m_showHex->setAccessibleName(QStringLiteral("Show hex"));
    m_save->setObjectName(QStringLiteral("SaveTraffic"));
    m_save->setAccessibleName(QStringLiteral("Save..."));
    m_save->setAutoDefault(false);

    setUpFindingsList(m_findings);
    auto *findingsHeading = new QLabel(QStringLiteral("&Findings"), this);
    findingsHeading->setBuddy(m_findings);

    auto *tools = new QHBoxLayout;
    tools->addWidget(trafficHeading);
    tools->addStretch(1);
    tools->addWidget(m_showHex);
    tools->addWidget(m_save);

    auto *trafficPane = new QWidget(this);
    auto *trafficLayout = new QVBoxLayout(trafficPane);
    trafficLayout->setContentsMargins(0, 0, 0, 0);
    trafficLayout->addLayout(tools);
    trafficLayout->addWidget(m_view, 1);
    auto *findingsPane = new QWidget(this);
    auto *findingsLayout = new QVBoxLayout(findingsPane);
    findingsLayout->setContentsMargins(0, 0, 0, 0);
    findingsLayout->addWidget(findingsHeading);
    findingsLayout->addWidget(m_findings, 1);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(trafficPane);
    splitter->addWidget(findingsPane);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    resize(m_view->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 110,
           m_view->fontMetrics().height() * 36);

    connect(m_showHex, &QCheckBox::toggled, m_model, &TrafficModel::setShowHex);
    connect(m_save, &QPushButton::clicked, this, &TrafficWindow::save);
    connect(&m_session, &SmaSession::findingsChanged, this, &TrafficWindow::showFindings);
    // Follow the run while the last line is in sight; stay put once the
    // operator has scrolled up to read.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = m_view->verticalScrollBar();
        m_following = bar->value() >= bar->maximum();
    });
    connect(m_model, &TrafficModel::rowsAppended, this, [this] {
        if (m_following)
            m_view->scrollToBottom();
    });
    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    showFindings();
}

void TrafficWindow::showFindings()
{
    ::showFindings(m_findings, m_session.findings());
}

QString TrafficWindow::saveTo(const QString &fileName) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return file.errorString();
    file.write(m_session.traffic().text(m_model->showHex()));
    if (!file.commit())
        return file.errorString();
    return {};
}

void TrafficWindow::save()
{
    const QString fileName = askFileName();
    if (fileName.isEmpty())
        return;
    if (const QString failure = saveTo(fileName); !failure.isEmpty())
        showFailure(QStringLiteral("The traffic could not be saved as \"%1\".")
                        .arg(QDir::toNativeSeparators(fileName)),
                    failure);
}

QString TrafficWindow::askFileName()
{
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Serial Traffic"),
                                        QStringLiteral("sma-traffic.txt"),
                                        QStringLiteral("Text files (*.txt)"));
}

void TrafficWindow::showFailure(const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box.setInformativeText(detail);
    box.exec();
}
