#pragma once

#include <QComboBox>
#include <QMessageBox>
#include <QString>
#include <QTreeWidget>
#include <QWidget>

#include <string>
#include <vector>

#include "core/SettingsDocument.h"
#include "core/Texts.h"
#include "core/pages/GroupChoices.h"

/// Small pieces the page views share.
namespace pagewidgets {

inline QString q(const std::string& text) { return QString::fromStdString(text); }
inline std::string s(const QString& text) { return text.toStdString(); }

/// Shows a refusal; nothing for "".
inline void warn(QWidget* parent, const std::string& message)
{
    if (!message.empty())
        QMessageBox::warning(parent, texts::kAppTitle, q(message));
}

/// Fills a drop-down with the live groups and selects the group (group 0 when it is gone).
inline void fillGroups(QComboBox* box, const std::vector<groupchoices::Choice>& choices, int group)
{
    const QSignalBlocker block(box);
    box->clear();
    for (const groupchoices::Choice& c : choices) {
        box->addItem(q(c.name), c.group);
        if (c.group == group)
            box->setCurrentIndex(box->count() - 1);
    }
}

/// A list with columns, one row selected at a time.
inline QTreeWidget* makeTable(QWidget* parent, const std::vector<const char*>& columns)
{
    auto* table = new QTreeWidget(parent);
    table->setRootIsDecorated(false);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    QStringList headers;
    for (const char* c : columns)
        headers << QString(c);
    table->setHeaderLabels(headers);
    return table;
}

inline void fillTable(QTreeWidget* table, const std::vector<std::vector<std::string>>& rows, int selected)
{
    const QSignalBlocker block(table);
    table->clear();
    for (const auto& row : rows) {
        QStringList texts;
        for (const std::string& t : row)
            texts << q(t);
        table->addTopLevelItem(new QTreeWidgetItem(texts));
    }
    if (selected >= 0 && selected < table->topLevelItemCount())
        table->setCurrentItem(table->topLevelItem(selected));
}

inline int currentRow(QTreeWidget* table)
{
    QTreeWidgetItem* item = table->currentItem();
    return item ? table->indexOfTopLevelItem(item) : -1;
}

} // namespace pagewidgets
