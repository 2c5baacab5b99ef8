#include "takings/text_rows_model.h"

#include <utility>

namespace takings {

TextRowsModel::TextRowsModel(const QStringList &headings, QList<int> numberColumns, QObject *parent)
    : QAbstractTableModel(parent), m_headings(headings), m_numbers(std::move(numberColumns))
{
}

QList<QStringList> TextRowsModel::setRows(QList<QStringList> rows)
{
    beginResetModel();
    std::swap(m_rows, rows);
    endResetModel();
    return rows;
}

int TextRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TextRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headings.size());
}

QVariant TextRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_rows[index.row()].value(index.column());
    // A screen reader reads a row cell by cell: each cell with its column's
    // name, "时间 04:10:30".
    if (role == Qt::AccessibleTextRole)
        return QStringLiteral("%1 %2").arg(m_headings.value(index.column()), m_rows[index.row()].value(index.column())).trimmed();
    if (role == Qt::TextAlignmentRole && m_numbers.contains(index.column()))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TextRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_headings.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

}  // namespace takings
