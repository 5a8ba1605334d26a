#include "views/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "common/Edition.h"
#include "core/Texts.h"
#include "platform/TextFile.h"
#include "update/FilterUpdate.h"
#include "views/CategoryList.h"
#include "views/LogViewDialog.h"
#include "views/UpdateDialog.h"

namespace {

constexpr int kImageSide = 200;

// The filtering button's two images: a green disc while filtering, a grey bar when not.
QIcon filteringIcon(bool on)
{
    QPixmap pixmap(25, 25);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (on) {
        p.setBrush(QColor(0x2e, 0xa0, 0x43));
        p.setPen(QColor(0x1b, 0x6b, 0x2b));
        p.drawEllipse(2, 2, 21, 21);
        p.setPen(QPen(Qt::white, 3));
        p.drawLine(7, 13, 11, 17);
        p.drawLine(11, 17, 18, 8);
    } else {
        p.setBrush(QColor(0x9a, 0x9a, 0x9a));
        p.setPen(QColor(0x60, 0x60, 0x60));
        p.drawEllipse(2, 2, 21, 21);
        p.fillRect(7, 11, 11, 3, Qt::white);
    }
    return QIcon(pixmap);
}

} // namespace

MainWindow::MainWindow(SettingsDocument& document, const AppCommandLine& line, Services services, QWidget* parent)
    : QDialog(parent)
    , m_document(document)
    , m_line(line)
    , m_services(services)
    , m_model(document)
{
    setObjectName("mainWindow");
    m_document.SetTestMode(line.test);
    setWindowIcon(QIcon(QString::fromStdString(document.programDirectory() + "vantrel.png")));
    (void)CUpdateDateSigleton::getInstance()->ReadUpdateDate(); // no date file: "Never"
    m_model.SetDateText(CUpdateDateSigleton::getInstance()->GetUpdateDate());
    m_document.MakeBackups();
    m_imagePath = document.programDirectory() + "VTLImage.bmp";
    m_image = new QLabel(this);
    m_image->setObjectName("imageLabel");
    m_image->setFixedSize(kImageSide, kImageSide);
    loadImage();
    if (!platform::PathExists(m_imagePath))
        QMetaObject::invokeMethod(
            this, [this] { m_prompt->Show(texts::kNoBitmap); }, Qt::QueuedConnection);
    SetURLhost(m_hosts);
    setWindowTitle(texts::kAppTitle);

    auto* layout = new QVBoxLayout(this);
    if (!m_document.Load()) {
        // Without its files the window shows why, and closing it still asks to save.
        auto* error = new QLabel(QString::fromStdString(m_document.loadError()), this);
        error->setObjectName("loadErrorLabel");
        error->setWordWrap(true);
        layout->addWidget(m_image);
        layout->addWidget(error);
        return;
    }
    m_model.Load();
    buildToolBar();
    layout->setMenuBar(m_toolBar);
    buildControls();
    refreshControls();
}

void MainWindow::buildToolBar()
{
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName("mainToolBar");
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(25, 25));
    m_filtering = m_toolBar->addAction(QString());
    m_filtering->setCheckable(true); // "off" shows the button pressed
    connect(m_filtering, &QAction::triggered, this, [this] {
        m_model.ToggleFiltering();
        refreshControls();
    });
    QStyle* s = style();
    m_toolBar->addAction(s->standardIcon(QStyle::SP_FileDialogDetailedView), texts::kUserSettings, this,
                         &MainWindow::OpenSettings);
    m_toolBar->addAction(s->standardIcon(QStyle::SP_FileDialogContentsView), texts::kShowLog, this, [this] {
        CLogViewDialog viewer(m_document.config(), m_document.programDirectory(), m_services.restart.launcher, this);
        connect(&viewer, &CLogViewDialog::helpRequested, this, [this] { OpenHelpPage("logview.html"); });
        viewer.show();
        viewer.OpenDefault();
        viewer.exec();
    });
    m_toolBar->addAction(s->standardIcon(QStyle::SP_BrowserReload), texts::kUpdateFilter, this, &MainWindow::RunUpdate);
    m_toolBar->addAction(s->standardIcon(QStyle::SP_DialogHelpButton), texts::kHelp, this, &MainWindow::OpenHelp);
    auto* context = new QAction(this);
    context->setShortcut(QKeySequence::HelpContents);
    connect(context, &QAction::triggered, this, [this] { OpenHelpPage("main.html"); });
    addAction(context);
    m_toolBar->addAction(s->standardIcon(QStyle::SP_DialogCloseButton), texts::kClose, this, &QDialog::close);
    for (QAction* a : m_toolBar->actions()) {
        if (QWidget* w = m_toolBar->widgetForAction(a))
            w->setMinimumSize(72, 48);
    }
}

void MainWindow::buildControls()
{
    auto* grid = new QGridLayout;
    m_categories = new CategoryList(m_model, this);
    m_categories->setMinimumSize(225, 200);
    m_setProxy = new QCheckBox(texts::kSetProxyLabel, this);
    m_setProxy->setObjectName("setProxyCheckBox");
    connect(m_setProxy, &QCheckBox::clicked, this, [this](bool on) { m_model.SetSetProxy(on); });
    m_autoUpdate = new QCheckBox(texts::kAutoUpdateLabel, this);
    m_autoUpdate->setObjectName("autoUpdateCheckBox");
    connect(m_autoUpdate, &QCheckBox::clicked, this, [this](bool on) { m_model.SetAutoUpdate(on); });
    m_password = new QLineEdit(this);
    m_password->setObjectName("passwordLineEdit");
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(255);
    connect(m_password, &QLineEdit::textEdited, this, [this](const QString& text) {
        const std::string refusal = m_model.SetPassword(text.toStdString());
        if (!refusal.empty()) {
            m_password->setText(QString::fromStdString(m_model.password()));
            m_prompt->Show(refusal);
        }
    });
    m_date = new QLabel(this);
    m_date->setObjectName("dateLabel");

    grid->addWidget(m_image, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(new QLabel(texts::kCategoryLabel, this), 0, 1);
    grid->addWidget(m_categories, 1, 1);
    grid->addWidget(m_setProxy, 2, 0, 1, 2);
    grid->addWidget(m_autoUpdate, 3, 0, 1, 2);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(new QLabel(texts::kPasswordLabel, this));
    passwordRow->addWidget(m_password);
    grid->addLayout(passwordRow, 4, 0, 1, 2);
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(new QLabel(texts::kLastUpdateLabel, this));
    dateRow->addWidget(m_date);
    dateRow->addStretch();
    grid->addLayout(dateRow, 5, 0, 1, 2);
    static_cast<QVBoxLayout*>(layout())->addLayout(grid);
}

void MainWindow::refreshControls()
{
    if (!m_document.loaded())
        return;
    m_setProxy->setChecked(m_model.setProxy());
    m_autoUpdate->setChecked(m_model.autoUpdate());
    if (m_password->text().toStdString() != m_model.password())
        m_password->setText(QString::fromStdString(m_model.password()));
    m_date->setText(QString::fromStdString(m_model.dateText()));
    m_filtering->setText(m_model.filteringText());
    m_filtering->setIcon(filteringIcon(m_model.filtering()));
    m_filtering->setChecked(!m_model.filtering());
    if (m_categories->count() != static_cast<int>(m_model.categories().size()))
        m_categories->Reload();
}

void MainWindow::loadImage()
{
    // Read again each time: an update may have replaced it.
    QImage image(QString::fromStdString(m_imagePath));
    m_image->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image.copy(0, 0, kImageSide, kImageSide)));
}

void MainWindow::OpenSettings()
{
    SheetModel sheet(m_document, IsStandaloneEdition());
    SettingsSheet view(sheet, 0, m_pageViews, this);
    connect(&view, &SettingsSheet::helpRequested, this, [this] { OpenHelpPage("settings.html"); });
    view.exec();
    m_model.AfterSheet(sheet.modified(), nullptr);
    refreshControls();
}

void MainWindow::RunUpdate()
{
    m_model.StoreCategories();
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    UpdateDialog progress(this);
    progress.show();
    // The update's messages go where every other message of the window goes.
    struct PromptSink final : UpdateMessageSink {
        explicit PromptSink(UserPrompt& p)
            : prompt(p)
        {
        }
        void Show(const std::string& text) override { prompt.Show(text); }
        UserPrompt& prompt;
    } sink(*m_prompt);
    SetUpdateMessageSink(&sink);
    const UpdateError result = UpdateFilter(&progress, m_line.noCache, m_line.updateBase.c_str(), false, &m_hosts);
    progress.hide();
    QApplication::restoreOverrideCursor();
    if (result == kUpdateOk) {
        m_model.AfterUpdate(CUpdateDateSigleton::getInstance()->GetUpdateDate());
        m_categories->Reload();
        loadImage();
        refreshControls();
    } else {
        DispError(result);
    }
    SetUpdateMessageSink(nullptr);
    setEnabled(true);
    BringToFront();
}

void MainWindow::OpenHelp() { OpenHelpPage("index.html"); }

void MainWindow::OpenHelpPage(const std::string& page)
{
    const std::string contents = m_document.programDirectory() + "help/index.html";
    if (!platform::PathExists(contents)) {
        const std::string format = texts::kNoHelpFile;
        const size_t at = format.find("%s");
        m_prompt->Show(format.substr(0, at) + contents + format.substr(at + 2));
        return;
    }
    const std::string path = m_document.programDirectory() + "help/" + page;
    if (!platform::PathExists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
        m_prompt->Show(texts::kNoHelpTopic);
}

void MainWindow::BringToFront()
{
    showNormal();
    raise();
    activateWindow();
}

bool MainWindow::leave()
{
    if (m_left)
        return true;
    if (m_document.loaded())
        m_model.StoreCategories();
    m_lastClose = CloseAndSave(m_model, m_document, m_line, *m_prompt, m_services.browser, m_services.restart);
    m_left = m_lastClose != CloseOutcome::KeepOpen;
    return m_left;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (leave())
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void MainWindow::done(int result)
{
    // Escape and every other road out go through the same questions.
    if (leave())
        QDialog::done(result);
}

bool MainWindow::AskYesNo(const std::string& text)
{
    return QMessageBox::question(this, texts::kAppTitle, QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void MainWindow::Show(const std::string& text)
{
    QMessageBox::information(this, texts::kAppTitle, QString::fromStdString(text));
}
