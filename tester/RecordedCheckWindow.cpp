#include "RecordedCheckWindow.h"

#include "CommandText.h"
#include "FindingsList.h"
#include "PrtForm.h"
#include "RecordedReportSource.h"
#include "WidgetLook.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString dateTime(const QDateTime &time)
{
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QStringLiteral("-");
}

// Who checked the scale, when, where and with what, and the two verdicts.
QString summary(const CheckRecord &record)
{
    return QStringLiteral("Started %1, ended %2 on port %3 at %4, by %5 on %6 with SMA Compliance "
                          "Tester %7. Level 1 %8, weight stream %9.")
        .arg(dateTime(record.started), dateTime(record.ended), record.port, record.line,
             record.user.isEmpty() ? QStringLiteral("-") : record.user,
             record.host.isEmpty() ? QStringLiteral("-") : record.host, record.programVersion,
             level1Text(record.level1Commands), weightStreamText(record.weightStream));
}

} // namespace

RecordedCheckWindow::RecordedCheckWindow(qint64 id, CheckRecord record, QWidget *parent)
    : QWidget(parent, Qt::Window), m_record(std::move(record)), m_report(new QPlainTextEdit(this)),
      m_traffic(new QTreeWidget(this)), m_findings(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("RecordedCheck"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Check %1: %2 %3, SN %4")
                       .arg(id)
                       .arg(m_record.manufacturer, m_record.model, m_record.serialNumber));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto *about = new QLabel(summary(m_record), this);
    about->setObjectName(QStringLiteral("CheckSummary"));
    about->setWordWrap(true);
    about->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_report->setObjectName(QStringLiteral("report"));
    m_report->setReadOnly(true);
    m_report->setFont(fixed);
    m_report->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_report->setPlainText(m_record.report.join(QLatin1Char('\n')));
    m_report->setAccessibleName(QStringLiteral("Report"));

    m_traffic->setObjectName(QStringLiteral("traffic"));
    m_traffic->setColumnCount(4);
    m_traffic->setHeaderLabels({QStringLiteral("ms"), QStringLiteral("Direction"),
                                QStringLiteral("Bytes"), QStringLiteral("Note")});
    m_traffic->setRootIsDecorated(false);
    m_traffic->setUniformRowHeights(true);
    m_traffic->setFont(fixed);
    m_traffic->setAccessibleName(QStringLiteral("Serial Record"));
    QList<QTreeWidgetItem *> items;
    for (const RecordedTraffic &entry : m_record.traffic) {
        auto *item = new QTreeWidgetItem(
            {QString::number(entry.ms), entry.direction, printableBytes(entry.bytes), entry.note});
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    m_traffic->addTopLevelItems(items);
    for (int column = 0; column < 3; ++column)
        m_traffic->resizeColumnToContents(column);

    setUpFindingsList(m_findings);
    showFindings(m_findings, m_record.findings);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->addTab(m_report, QStringLiteral("&Report"));
    tabs->addTab(m_traffic, QStringLiteral("&Serial Record"));
    tabs->addTab(m_findings, QStringLiteral("&Findings"));

    QPushButton *preview =
        captionedButton(QStringLiteral("&Print Preview..."), QStringLiteral("PrintPreview"), this);
    QPushButton *close =
        captionedButton(QStringLiteral("&Close"), QStringLiteral("CloseCheck"), this);
    connect(preview, &QPushButton::clicked, this,
            [this] { showPreview(RecordedReportSource(m_record)); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(preview);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(about);
    layout->addWidget(tabs, 1);
    layout->addLayout(buttons);
    resize(m_report->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 100,
           m_report->fontMetrics().height() * 40);
}

void RecordedCheckWindow::showPreview(const ReportSource &source)
{
    PrtForm form(source, this);
    form.exec();
}
