#pragma once
// A read-only table of text rows for a view: the rows are handed over whole
// and shown as they are, so a list of thousands costs the window only the
// rows in view. Numbers (the columns given) are right-aligned.

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace takings {

class TextRowsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    TextRowsModel(const QStringList &headings, QList<int> numberColumns, QObject *parent = nullptr);

    // Shows `rows`; gives back the rows shown before.
    QList<QStringList> setRows(QList<QStringList> rows);
    const QList<QStringList> &rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_headings;
    QList<int> m_numbers;
    QList<QStringList> m_rows;
};

}  // namespace takings
