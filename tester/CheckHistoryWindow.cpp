#include "CheckHistoryWindow.h"

#include "TesterSettings.h"

#include "CheckRecorder.h"
#include "ComparisonWindow.h"
#include "HistoryModel.h"
#include "HistoryReader.h"
#include "RecordedCheckWindow.h"
#include "WidgetLook.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Long enough that typing a word reads the database once.
constexpr int kFilterPauseMs = 120;

const QString kDatabaseKey = QStringLiteral("records/database");

} // namespace

QString CheckHistoryWindow::startingDatabase()
{
    // An earlier version kept what was typed, a password too: no longer.
    const QString stored = testerSettings().value(kDatabaseKey).toString();
    if (const QString kept = withoutPassword(stored); kept != stored)
        saveDatabase(kept);
    if (!qEnvironmentVariableIsEmpty("SMA_DB"))
        return {};
    return testerSettings().value(kDatabaseKey).toString();
}

void CheckHistoryWindow::saveDatabase(const QString &location)
{
    testerSettings().setValue(kDatabaseKey, location);
}

CheckHistoryWindow::CheckHistoryWindow(CheckRecorder &recorder, QWidget *parent)
    : QWidget(parent, Qt::Window), m_recorder(recorder),
      m_reader(new HistoryReader(recorder.location(), this)), m_model(new HistoryModel(this)),
      m_database(new QLineEdit(startingDatabase(), this)),
      m_useDatabase(captionedButton(QStringLiteral("&Use"), QStringLiteral("UseDatabase"), this)),
      m_filter(new QLineEdit(this)), m_view(new QTableView(this)), m_state(new QLabel(this)),
      m_open(captionedButton(QStringLiteral("&Open"), QStringLiteral("OpenCheck"), this)),
      m_compare(captionedButton(QStringLiteral("Co&mpare"), QStringLiteral("Compare"), this)),
      m_export(captionedButton(QStringLiteral("&Export CSV..."), QStringLiteral("ExportCsv"), this))
{
    setObjectName(QStringLiteral("CheckHistory"));
    setWindowTitle(QStringLiteral("Check History"));

    m_database->setObjectName(QStringLiteral("Database"));
    m_database->setPlaceholderText(chooseRecordLocation({}));
    m_database->setToolTip(QStringLiteral("An SQLite file, or postgresql://user@host/dbname for "
                                          "a server; empty for SMA_DB or the default file"));
    m_filter->setObjectName(QStringLiteral("Filter"));
    m_filter->setPlaceholderText(QStringLiteral("MFG, MOD, SN, REV or port"));
    m_filter->setClearButtonEnabled(true);
    m_state->setObjectName(QStringLiteral("HistoryState"));
    m_state->setWordWrap(true);

    m_view->setObjectName(QStringLiteral("history"));
    m_view->setModel(m_model);
    m_view->setAccessibleName(QStringLiteral("Checks"));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    // Rows of one height: a view of many checks lays them out without measuring each.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->horizontalHeader()->setStretchLastSection(true);
    const int digit = m_view->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QList<std::pair<int, int>> widths = {{HistoryModel::Id, 7},
                                               {HistoryModel::Ended, 20},
                                               {HistoryModel::Manufacturer, 22},
                                               {HistoryModel::Model, 14},
                                               {HistoryModel::SerialNumber, 14},
                                               {HistoryModel::Revision, 8},
                                               {HistoryModel::Port, 14},
                                               {HistoryModel::Level1, 13},
                                               {HistoryModel::WeightStream, 13}};
    for (const auto &[column, characters] : widths)
        m_view->setColumnWidth(column, digit * characters);

    auto *fields = new QGridLayout;
    fields->addWidget(buddyLabel(QStringLiteral("&Database"), m_database, this), 0, 0);
    fields->addWidget(m_database, 0, 1);
    fields->addWidget(m_useDatabase, 0, 2);
    fields->addWidget(buddyLabel(QStringLiteral("&Filter"), m_filter, this), 1, 0);
    fields->addWidget(m_filter, 1, 1, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_state, 1);
    buttons->addWidget(m_open);
    buttons->addWidget(m_compare);
    buttons->addWidget(m_export);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    resize(digit * 150, m_view->fontMetrics().height() * 32);
    setTabOrder(m_filter, m_view);

    m_filterPause.setSingleShot(true);
    m_filterPause.setInterval(kFilterPauseMs);
    connect(&m_filterPause, &QTimer::timeout, this,
            [this] { m_model->setFilter(m_filter->text()); });
    connect(m_filter, &QLineEdit::textChanged, &m_filterPause, qOverload<>(&QTimer::start));
    connect(m_database, &QLineEdit::returnPressed, this, &CheckHistoryWindow::useDatabase);
    connect(m_useDatabase, &QPushButton::clicked, this, &CheckHistoryWindow::useDatabase);
    connect(m_view, &QAbstractItemView::activated, this, &CheckHistoryWindow::openSelected);
    connect(m_open, &QPushButton::clicked, this, &CheckHistoryWindow::openSelected);
    connect(m_compare, &QPushButton::clicked, this, &CheckHistoryWindow::compareSelected);
    connect(m_export, &QPushButton::clicked, this, &CheckHistoryWindow::exportCsv);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CheckHistoryWindow::updateButtons);
    connect(m_model, &QAbstractItemModel::modelReset, this, &CheckHistoryWindow::updateButtons);
    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    connect(m_model, &HistoryModel::stateChanged, this, &CheckHistoryWindow::showState);
    connect(m_reader, &HistoryReader::connecting, this, [this](const QString &where, bool server) {
        // An SQLite file opens at once: only a server's connect is worth a word.
        m_connecting = server ? where : QString();
        showState();
    });
    connect(m_reader, &HistoryReader::opened, this, [this] {
        m_connecting.clear();
        showState();
    });
    connect(m_reader, &HistoryReader::checksLoaded, this, &CheckHistoryWindow::checksLoaded);
    connect(m_reader, &HistoryReader::exported, this, [this](int request) {
        if (request == m_exporting)
            m_exporting = 0;
    });
    connect(m_reader, &HistoryReader::failed, this, &CheckHistoryWindow::requestFailed);

    m_model->setReader(m_reader);
    m_filter->setFocus();
}

void CheckHistoryWindow::refresh()
{
    m_model->reload();
}

void CheckHistoryWindow::showState()
{
    const QString where = RecordLocation::parse(m_reader->location()).describe();
    if (!m_connecting.isEmpty())
        m_state->setText(QStringLiteral("Connecting to %1...").arg(m_connecting));
    else if (!m_model->errorString().isEmpty())
        // The reason names the database itself.
        m_state->setText(QStringLiteral("The history could not be read: ") +
                         m_model->errorString());
    else if (m_model->isReading() && m_model->rowCount() == 0)
        m_state->setText(QStringLiteral("Reading the checks in %1...").arg(where));
    else if (m_model->rowCount() == 0)
        m_state->setText(m_filter->text().isEmpty()
                             ? QStringLiteral("No checks are on record in %1.").arg(where)
                             : QStringLiteral("No check matches the filter."));
    else
        m_state->setText(QStringLiteral("Checks in %1").arg(where));
}

void CheckHistoryWindow::useDatabase()
{
    const QString location = m_database->text().trimmed();
    // Never kept where it was typed: a password belongs to libpq's own means.
    if (const RecordLocation parsed = RecordLocation::parse(location);
        parsed.kind == RecordLocation::Kind::Invalid) {
        m_state->setText(parsed.error);
        return;
    }
    saveDatabase(location);
    m_recorder.setLocation(location);
    m_reader->setLocation(m_recorder.location());
    m_model->reload(HistoryModel::Rows::Drop); // they are of the other database
}

QList<int> CheckHistoryWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CheckHistoryWindow::updateButtons()
{
    const qsizetype selected = selectedRows().size();
    m_open->setEnabled(selected >= 1);
    m_compare->setEnabled(selected == 2);
}

void CheckHistoryWindow::openSelected()
{
    m_askedRows.clear();
    for (const int row : selectedRows())
        m_askedRows << m_model->historyRow(row);
    if (m_askedRows.isEmpty())
        return;
    m_asked = Asked::Open;
    m_loading = m_reader->load(m_askedRows);
}

// The rows are newest first: the lower one is the earlier check.
void CheckHistoryWindow::compareSelected()
{
    const QList<int> rows = selectedRows();
    if (rows.size() != 2)
        return;
    m_askedRows = {m_model->historyRow(rows.last()), m_model->historyRow(rows.first())};
    m_asked = Asked::Compare;
    m_loading = m_reader->load(m_askedRows);
}

void CheckHistoryWindow::checksLoaded(int request, const QList<CheckRecord> &records)
{
    if (request != m_loading)
        return;
    m_loading = 0;
    if (m_asked == Asked::Open) {
        for (qsizetype i = 0; i < records.size(); ++i)
            showCheck(m_askedRows.at(i).id, records.at(i));
        return;
    }
    const HistoryRow &earlier = m_askedRows.first();
    const HistoryRow &later = m_askedRows.last();
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    showComparison(QStringLiteral("Check %1 (%2) compared with check %3 (%4)")
                       .arg(later.id)
                       .arg(later.ended.toString(format))
                       .arg(earlier.id)
                       .arg(earlier.ended.toString(format)),
                   compareChecks(records.first(), records.last()));
}

// The history's own pages tell their failures in the window's line; what
// the operator asked for is told as a message.
void CheckHistoryWindow::requestFailed(int request, const QString &reason)
{
    m_connecting.clear();
    if (request == m_loading) {
        m_loading = 0;
        showFailure(m_asked == Asked::Open && m_askedRows.size() == 1
                        ? QStringLiteral("Check %1 could not be read.").arg(m_askedRows.first().id)
                        : QStringLiteral("The checks could not be read."),
                    reason);
    } else if (request == m_exporting) {
        m_exporting = 0;
        showFailure(QStringLiteral("The history could not be saved as \"%1\".")
                        .arg(QDir::toNativeSeparators(m_exportFile)),
                    reason);
    }
    showState();
}

void CheckHistoryWindow::exportCsv()
{
    const QString fileName = askExportFile();
    if (fileName.isEmpty())
        return;
    m_exportFile = fileName;
    m_exporting = m_reader->exportCsv(m_model->filter(), fileName);
}

QString CheckHistoryWindow::askExportFile()
{
    return QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                        QStringLiteral("sma-check-history.csv"),
                                        QStringLiteral("CSV files (*.csv)"));
}

void CheckHistoryWindow::showFailure(const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box.setInformativeText(detail);
    box.exec();
}

void CheckHistoryWindow::showCheck(qint64 id, const CheckRecord &record)
{
    auto *window = new RecordedCheckWindow(id, record, this);
    window->show();
}

void CheckHistoryWindow::showComparison(const QString &title, const QList<CheckChange> &changes)
{
    auto *window = new ComparisonWindow(title, changes, this);
    window->show();
}
