// The log viewer dialog: buttons, filters, summary and table over the log document.
#include "views/LogViewDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "common/Clock.h"
#include "common/LogLine.h"
#include "core/LogColumns.h"
#include "core/LogPrint.h"
#include "core/LogTexts.h"
#include "platform/ProgramDirectory.h"
#include "core/Texts.h"
#include "views/LogSummaryChart.h"
#include "views/LogTableModel.h"

namespace {

constexpr int kFollowIntervalMs = 1000;
constexpr const char* kPrintFont = "Noto Sans Mono CJK JP";

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

CLogViewDialog::CLogViewDialog(const ConfigrationFileSigleton& cnf, std::string programDirectory,
                               platform::ProgramLauncher& launcher, QWidget* parent)
    : QDialog(parent)
    , m_cnf(cnf)
    , m_programDirectory(std::move(programDirectory))
    , m_launcher(launcher)
    , m_document([&cnf](unsigned number, std::string& name) {
        return cnf.GetCategoryName(static_cast<unsigned short>(number), name) && !name.empty();
    })
    , m_query(m_document)
{
    setObjectName("logViewDialog");
    setWindowTitle(q(texts::kLogViewTitle));
    setSizeGripEnabled(true);
    resize(1000, 640);
    m_chooser = [this](bool save, const std::string& start) {
        const QString filter = QString::fromStdString(logview::QtFileFilter(texts::kLogFileFilter));
        QFileDialog dialog(this, QString(), QString::fromStdString(start), filter);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (save)
            dialog.setDefaultSuffix("log");
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first().toStdString()
                   : std::string();
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    auto* buttons = new QHBoxLayout;
    auto addButton = [&](const char* text, const char* name, void (CLogViewDialog::*slot)()) {
        auto* button = new QPushButton(q(text), this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, slot);
        buttons->addWidget(button);
    };
    addButton(texts::kLogOpenButton, "openButton", &CLogViewDialog::OpenOther);
    addButton(texts::kLogSaveButton, "saveButton", &CLogViewDialog::SaveCopy);
    addButton(texts::kLogEmptyButton, "emptyButton", &CLogViewDialog::EmptyLog);
    addButton(texts::kLogPrintButton, "printButton", &CLogViewDialog::Print);
    addButton(texts::kLogCsvButton, "csvButton", &CLogViewDialog::OpenAsCsv);
    auto* help = new QPushButton(q(texts::kLogHelpButton), this);
    help->setAutoDefault(false);
    connect(help, &QPushButton::clicked, this, &CLogViewDialog::helpRequested);
    buttons->addWidget(help);
    auto* close = new QPushButton(q(texts::kLogCloseButton), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    buttons->addStretch();
    m_follow = new QCheckBox(q(texts::kLogFollow), this);
    m_follow->setObjectName("followCheckBox");
    m_follow->setChecked(true);
    buttons->addWidget(m_follow);
    m_count = new QLabel(this);
    m_count->setObjectName("countLabel");
    buttons->addWidget(m_count);
    layout->addLayout(buttons);

    auto* filters = new QGridLayout;
    buildFilters(filters);
    layout->addLayout(filters);
    m_chart = new LogSummaryChart(this);
    layout->addWidget(m_chart);

    m_model = new LogTableModel(m_document, m_query, this);
    m_table = new QTableView(this);
    m_table->setObjectName("logTable");
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSortingEnabled(true);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);
    for (int c = 0; c < logview::kColumnCount; ++c)
        m_table->setColumnWidth(c, logview::Info(static_cast<logview::Column>(c)).pixels);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_table, 1);

    auto* browse = new QAction(q(texts::kLogBrowse).section('\t', 0, 0), this);
    browse->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    browse->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(browse, &QAction::triggered, this, &CLogViewDialog::BrowseRow);
    addAction(browse);
    auto* copy = new QAction(q(texts::kLogCopy).section('\t', 0, 0), this);
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &CLogViewDialog::CopyRow);
    addAction(copy);
    connect(m_table, &QTableView::doubleClicked, this, [this] { BrowseRow(); });
    connect(m_table, &QWidget::customContextMenuRequested, this, [this, browse, copy](const QPoint& at) {
        if (selectedRow() < 0)
            return; // the menu belongs to a row
        QMenu menu(this);
        menu.addAction(browse);
        menu.addAction(copy);
        menu.exec(m_table->viewport()->mapToGlobal(at));
    });

    m_timer = new QTimer(this);
    m_timer->setInterval(kFollowIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &CLogViewDialog::FollowNow);
    connect(m_follow, &QCheckBox::toggled, this, [this](bool on) { on ? m_timer->start() : m_timer->stop(); });
    m_timer->start();
    refreshSummary();
}

CLogViewDialog::~CLogViewDialog() = default;

void CLogViewDialog::buildFilters(QGridLayout* grid)
{
    int column = 0;
    auto addEdit = [&](const char* label, const char* name, int width) {
        grid->addWidget(new QLabel(q(label), this), 0, column++);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setClearButtonEnabled(true);
        edit->setMinimumWidth(width);
        connect(edit, &QLineEdit::textChanged, this, &CLogViewDialog::applyFilter);
        grid->addWidget(edit, 0, column++);
        return edit;
    };
    addEdit(texts::kLogFilterFrom, "fromEdit", 80)->setPlaceholderText("2004/05/01");
    addEdit(texts::kLogFilterTo, "toEdit", 80)->setPlaceholderText("2004/05/31");
    addEdit(texts::kLogFilterClient, "clientEdit", 90);
    addEdit(texts::kLogFilterGroup, "groupEdit", 70);
    addEdit(texts::kLogFilterCategory, "categoryEdit", 90);
    grid->addWidget(new QLabel(q(texts::kLogFilterTag), this), 0, column++);
    m_tag = new QComboBox(this);
    m_tag->setObjectName("tagCombo");
    m_tag->setEditable(true);
    m_tag->addItems({QString(), "(URL Block)", "(Extension Block)", "(Access Control)", "(Access Log)"});
    m_tag->setMinimumWidth(120);
    connect(m_tag, &QComboBox::editTextChanged, this, &CLogViewDialog::applyFilter);
    grid->addWidget(m_tag, 0, column++);
    addEdit(texts::kLogFilterUrl, "urlEdit", 120);
}

QLineEdit* CLogViewDialog::filterEdit(const char* objectName) const { return findChild<QLineEdit*>(objectName); }

void CLogViewDialog::applyFilter()
{
    LogFilter filter;
    auto text = [this](const char* name) {
        QLineEdit* edit = filterEdit(name);
        return edit ? edit->text().trimmed().toStdString() : std::string();
    };
    filter.from = text("fromEdit");
    filter.to = text("toEdit");
    filter.client = text("clientEdit");
    filter.group = text("groupEdit");
    filter.category = text("categoryEdit");
    filter.url = text("urlEdit");
    if (m_tag)
        filter.tag = m_tag->currentText().trimmed().toStdString();
    if (filter == m_query.filter())
        return;
    m_model->SetFilter(filter);
    refreshSummary();
}

void CLogViewDialog::refreshSummary()
{
    m_chart->SetSummary(m_query.Summary());
    m_count->setText(q(texts::kLogRowsShown).arg(m_query.size()).arg(m_document.rowCount()));
}

std::string CLogViewDialog::logDirectory() const
{
    return platform::WithTrailingSlash(m_cnf.LogPath.empty() ? m_programDirectory : m_cnf.LogPath);
}

void CLogViewDialog::OpenDefault()
{
    std::tm today{};
    zpfclock::LocalNow(&today);
    const std::string path = logline::DefaultLogFile(m_cnf.LogFlag, m_cnf.LogPath, m_programDirectory, today);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LogDocument::ReadResult result = m_document.Open(path);
    QApplication::restoreOverrideCursor();
    if (result.status == LogDocument::ReadStatus::CannotOpen) {
        OpenOther();
        return;
    }
    setWindowTitle(QString::fromStdString(path));
    m_model->Reload();
    refreshSummary();
    showRead(result);
}

bool CLogViewDialog::OpenFile(const std::string& path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LogDocument::ReadResult result = m_document.Open(path);
    QApplication::restoreOverrideCursor();
    if (result.status == LogDocument::ReadStatus::CannotOpen) {
        m_prompt->Show(texts::kLogCannotOpen);
        return false;
    }
    setWindowTitle(QString::fromStdString(path));
    m_model->Reload();
    refreshSummary();
    showRead(result);
    return true;
}

void CLogViewDialog::showRead(const LogDocument::ReadResult& result)
{
    if (result.status == LogDocument::ReadStatus::FormatError)
        m_prompt->Show(texts::kLogFormatError);
    if (result.tooManyRows)
        m_prompt->Show(texts::kLogTooManyRows);
    if (result.tooLarge)
        m_prompt->Show(texts::kLogTooLarge);
}

void CLogViewDialog::OpenOther()
{
    const std::string path = m_chooser(false, m_cnf.LogPath.empty() ? m_programDirectory : m_cnf.LogPath);
    if (!path.empty())
        (void)OpenFile(path); // a failure has been shown
}

void CLogViewDialog::SaveCopy()
{
    if (m_document.path().empty())
        return;
    const std::string target = m_chooser(true, logDirectory());
    if (target.empty())
        return;
    const LogDocument::CopyStatus status = m_document.SaveCopy(target);
    if (status == LogDocument::CopyStatus::CannotRead)
        m_prompt->Show(texts::kLogCannotOpen);
    else if (status == LogDocument::CopyStatus::CannotWrite)
        m_prompt->Show(texts::kLogCannotSave);
}

void CLogViewDialog::EmptyLog()
{
    if (m_document.path().empty() || !m_prompt->AskYesNo(texts::kLogAskEmpty))
        return;
    if (!m_document.Empty()) {
        m_prompt->Show(texts::kLogCannotEmpty);
        return;
    }
    m_model->Reload();
    refreshSummary();
}

void CLogViewDialog::OpenAsCsv()
{
    if (m_document.path().empty())
        return;
    std::string csv;
    const LogDocument::CopyStatus status = m_document.WriteCsv(csv);
    if (status == LogDocument::CopyStatus::CannotRead)
        m_prompt->Show(texts::kLogCannotOpen);
    else if (status == LogDocument::CopyStatus::CannotWrite)
        m_prompt->Show(texts::kLogCannotSave);
    else if (!m_launcher.OpenWithDesktop(csv))
        m_prompt->Show(texts::kLogNoOpener);
}

long CLogViewDialog::selectedRow() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : m_model->documentRow(rows.first().row());
}

void CLogViewDialog::BrowseRow()
{
    const long row = selectedRow();
    if (row < 0)
        return;
    const std::string address =
        logview::BrowserAddress(m_document.Field(static_cast<size_t>(row), logview::Column::Url));
    if (address.empty())
        m_prompt->Show(texts::kLogNotWebAddress);
    else if (!m_launcher.OpenWithDesktop(address))
        m_prompt->Show(texts::kLogNoOpener);
}

void CLogViewDialog::CopyRow()
{
    const long row = selectedRow();
    if (row < 0)
        return;
    const QString url = QString::fromLatin1(m_document.Field(static_cast<size_t>(row), logview::Column::Url));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(url);
    if (clipboard->text() != url)
        m_prompt->Show(texts::kClipboardFailed);
}

void CLogViewDialog::FollowNow()
{
    const LogDocument::FollowResult result = m_document.Follow();
    if (result.reread)
        m_model->Reload();
    else if (result.added > 0)
        m_model->Appended();
    else if (!result.read.tooManyRows && result.read.status == LogDocument::ReadStatus::Ok)
        return;
    refreshSummary();
    showRead(result.read);
}

void CLogViewDialog::Print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(q(texts::kLogDocName));
    QPageSetupDialog setup(&printer, this);
    if (setup.exec() != QDialog::Accepted)
        return;
    QPrintPreviewDialog preview(&printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { (void)PrintTo(*p); });
    preview.exec();
}

bool CLogViewDialog::PrintTo(QPrinter& printer)
{
    printer.setDocName(q(texts::kLogDocName));
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    QFont font(kPrintFont, 9);
    font.setStyleHint(QFont::Monospace);
    painter.setFont(font);
    const QFontMetrics fm(font, &printer);
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const int lineHeight = std::max(1, fm.height() + fm.leading());
    const int charWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    const auto linesPerPage = static_cast<size_t>(std::max(1, area.height() / lineHeight));
    const auto charsPerLine = static_cast<size_t>(std::max(1, area.width() / charWidth));
    std::tm now{};
    zpfclock::LocalNow(&now);
    const std::vector<logprint::Page> pages = logprint::Paginate(m_document, m_query, linesPerPage, charsPerLine, now);
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        int y = fm.ascent();
        painter.drawText(0, y, QString::fromStdString(pages[i].header));
        y += 2 * lineHeight;
        for (const std::string& line : pages[i].lines) {
            painter.drawText(0, y, QString::fromStdString(line));
            y += lineHeight;
        }
    }
    return painter.end();
}

bool CLogViewDialog::AskYesNo(const std::string& text)
{
    return QMessageBox::question(this, q(texts::kLogViewTitle), QString::fromStdString(text),
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

void CLogViewDialog::Show(const std::string& text)
{
    QMessageBox::information(this, q(texts::kLogViewTitle), QString::fromStdString(text));
}
