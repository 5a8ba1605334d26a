#pragma once

#include <QDialog>

#include <functional>
#include <string>

#include "config/ConfigrationFile.h"
#include "core/CloseSequence.h"
#include "core/LogDocument.h"
#include "core/LogQuery.h"
#include "platform/ProcessControl.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QTableView;
class QTimer;
class LogSummaryChart;
class LogTableModel;

/// The log viewer: a block or access log as a table with filters and a summary above
/// it; opens another log, saves a copy, empties the log, prints, opens it as CSV, and
/// opens or copies a row's address. Follows the file while the proxy writes it.
class CLogViewDialog : public QDialog, public UserPrompt {
    Q_OBJECT
public:
    /// Picks a file to open (save false) or to save to (save true); "" when cancelled.
    using FileChooser = std::function<std::string(bool save, const std::string& startDirectory)>;

    /// cnf gives the log settings and the category names; it and launcher must
    /// outlive the dialog.
    CLogViewDialog(const ConfigrationFileSigleton& cnf, std::string programDirectory,
                   platform::ProgramLauncher& launcher, QWidget* parent = nullptr);
    ~CLogViewDialog() override;

    /// Reads the default log file; when it cannot be opened, asks for another at once.
    void OpenDefault();
    /// Reads the file; false (with the message shown) when it cannot be opened.
    bool OpenFile(const std::string& path);

    LogDocument& document() { return m_document; }
    LogQuery& query() { return m_query; }
    QTableView* table() const { return m_table; }
    LogTableModel* model() const { return m_model; }
    LogSummaryChart* chart() const { return m_chart; }
    QLineEdit* filterEdit(const char* objectName) const;

    /// Questions and messages; tests replace them with their own.
    void SetPrompt(UserPrompt* prompt) { m_prompt = prompt ? prompt : this; }
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    bool AskYesNo(const std::string& text) override;
    void Show(const std::string& text) override;

    /// Prints the rows shown, without asking anything. False when nothing could be
    /// drawn on the printer.
    bool PrintTo(QPrinter& printer);

public slots:
    void OpenOther();
    void SaveCopy();
    void EmptyLog();
    void Print();
    void OpenAsCsv();
    /// The selected row's address in the browser.
    void BrowseRow();
    /// The selected row's address to the clipboard.
    void CopyRow();
    /// Takes what the proxy wrote since the last look.
    void FollowNow();

signals:
    void helpRequested();

private:
    void buildFilters(class QGridLayout* grid);
    void applyFilter();
    void showRead(const LogDocument::ReadResult& result);
    void refreshSummary();
    /// The document row of the current selection; -1 without one.
    long selectedRow() const;
    std::string logDirectory() const;

    const ConfigrationFileSigleton& m_cnf;
    std::string m_programDirectory;
    platform::ProgramLauncher& m_launcher;
    UserPrompt* m_prompt = this;
    FileChooser m_chooser;
    LogDocument m_document;
    LogQuery m_query;
    LogTableModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    LogSummaryChart* m_chart = nullptr;
    QLabel* m_count = nullptr;
    QCheckBox* m_follow = nullptr;
    QTimer* m_timer = nullptr;
    QComboBox* m_tag = nullptr;
};
