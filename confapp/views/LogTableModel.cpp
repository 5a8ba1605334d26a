// The log table model: the query's rows, cells made from the document on demand.
#include "views/LogTableModel.h"

using logview::Column;

LogTableModel::LogTableModel(LogDocument& document, LogQuery& query, QObject* parent)
    : QAbstractTableModel(parent)
    , m_document(document)
    , m_query(query)
    , m_rows(static_cast<int>(query.size()))
{
}

int LogTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int LogTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : logview::kColumnCount; }

QVariant LogTableModel::data(const QModelIndex& index, int role) const
{
    const long row = documentRow(index.row());
    if (row < 0 || index.column() < 0 || index.column() >= logview::kColumnCount)
        return {};
    const auto column = static_cast<Column>(index.column());
    if (role == Qt::DisplayRole)
        return QString::fromStdString(m_document.DisplayText(static_cast<size_t>(row), column));
    if (role == Qt::ToolTipRole && column == Column::Url)
        return QString::fromLatin1(m_document.Field(static_cast<size_t>(row), Column::Url));
    return {};
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= logview::kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromUtf8(logview::Info(static_cast<Column>(section)).title);
}

void LogTableModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<long> rows;
    for (const QModelIndex& index : before)
        rows.push_back(documentRow(index.row()));
    m_query.Sort(column, order == Qt::AscendingOrder);
    // Where each remembered document row is now.
    std::vector<int> at(m_document.rowCount(), -1);
    for (size_t i = 0; i < m_query.size(); ++i)
        at[m_query.rows()[i]] = static_cast<int>(i);
    QModelIndexList after;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = rows[i] >= 0 ? at[static_cast<size_t>(rows[i])] : -1;
        after.push_back(row >= 0 ? index(row, before[static_cast<int>(i)].column()) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

long LogTableModel::documentRow(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_query.size() || row >= m_rows)
        return -1;
    return static_cast<long>(m_query.rows()[static_cast<size_t>(row)]);
}

void LogTableModel::Reload()
{
    beginResetModel();
    m_query.Rebuild();
    m_rows = static_cast<int>(m_query.size());
    endResetModel();
}

void LogTableModel::Appended()
{
    const int before = m_rows;
    if (!m_query.Appended()) {
        beginResetModel();
        m_rows = static_cast<int>(m_query.size());
        endResetModel();
        return;
    }
    const int now = static_cast<int>(m_query.size());
    if (now == before)
        return;
    // The query holds the new rows already; the count the views see changes here.
    beginInsertRows(QModelIndex(), before, now - 1);
    m_rows = now;
    endInsertRows();
}

void LogTableModel::SetFilter(const LogFilter& filter)
{
    beginResetModel();
    m_query.SetFilter(filter);
    m_rows = static_cast<int>(m_query.size());
    endResetModel();
}
