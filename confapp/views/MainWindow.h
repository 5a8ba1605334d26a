#pragma once

#include <QDialog>

#include "core/AppCommandLine.h"
#include "core/CloseSequence.h"
#include "core/MainWindowModel.h"
#include "core/SettingsDocument.h"
#include "update/HttpClient.h"
#include "views/SettingsSheet.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QToolBar;
class CategoryList;

/// The main window: the image, group 0's categories, the two check boxes, the
/// password, the last update and the toolbar. Closing it runs the close-and-save
/// sequence; a failed save keeps it open.
class MainWindow : public QDialog, public UserPrompt {
    Q_OBJECT
public:
    struct Services {
        ProxyRestartEnv& restart;
        BrowserSettings& browser;
    };
    MainWindow(SettingsDocument& document, const AppCommandLine& line, Services services, QWidget* parent = nullptr);

    MainWindowModel& model() { return m_model; }
    CategoryList* categoryList() const { return m_categories; }
    QToolBar* toolBar() const { return m_toolBar; }
    /// The last close's outcome.
    CloseOutcome lastClose() const { return m_lastClose; }
    /// Questions and messages; tests replace them with their own.
    void SetPrompt(UserPrompt* prompt) { m_prompt = prompt ? prompt : this; }
    void SetPageViews(SettingsSheet::PageViewFactory factory) { m_pageViews = factory; }

    bool AskYesNo(const std::string& text) override;
    void Show(const std::string& text) override;

public slots:
    /// Another start of the program asked for this window.
    void BringToFront();
    void OpenSettings();
    void RunUpdate();
    /// The help's table of contents.
    void OpenHelp();
    /// A page of the help (help/<page> in the program directory) in the browser.
    void OpenHelpPage(const std::string& page);
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildToolBar();
    void refreshControls();
    void loadImage();
    /// The close-and-save sequence; false when the window must stay open.
    bool leave();

    SettingsDocument& m_document;
    AppCommandLine m_line;
    Services m_services;
    MainWindowModel m_model;
    UserPrompt* m_prompt = this;
    SettingsSheet::PageViewFactory m_pageViews = MakePageView;
    HostAddress m_hosts;
    std::string m_imagePath;
    CloseOutcome m_lastClose = CloseOutcome::NothingSaved;
    bool m_left = false;

    QToolBar* m_toolBar = nullptr;
    QAction* m_filtering = nullptr;
    QLabel* m_image = nullptr;
    CategoryList* m_categories = nullptr;
    QCheckBox* m_setProxy = nullptr;
    QCheckBox* m_autoUpdate = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_date = nullptr;
};
