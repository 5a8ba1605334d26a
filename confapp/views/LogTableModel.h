#pragma once

#include <QAbstractTableModel>

#include "core/LogDocument.h"
#include "core/LogQuery.h"

/// The log as a table for QTableView: the rows the query shows, each cell made from the
/// document when the view paints it, so no row costs a widget or a copy of its texts.
class LogTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    LogTableModel(LogDocument& document, LogQuery& query, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    /// The document row shown at a table row; -1 when there is none.
    long documentRow(int row) const;

    /// The document was read again: everything changed.
    void Reload();
    /// Rows were added at the document's end.
    void Appended();
    void SetFilter(const LogFilter& filter);

private:
    LogDocument& m_document;
    LogQuery& m_query;
    int m_rows = 0;
};
