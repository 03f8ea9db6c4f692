// The results table's model: reads the pair list through a row-to-pair index, so rows cost no items.
#pragma once

#include "core/FileRecord.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace twinspotter {

enum class ResultsColumn { Nr, FileName, Location1, Location2, Count };

class ResultsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    /// Row indexes are 32-bit: four bytes a row keep a million rows small.
    using RowIndex = std::vector<std::uint32_t>;

    explicit ResultsModel(const FileList& pairs, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// Writes the header texts; until then the header row is blank.
    void writeHeaderRow();
    /// The header row and one empty data row.
    void showNothing();
    /// Shows one data row per entry of \p rows (pair indexes), followed by one empty row when \p trailingEmptyRow
    /// or when \p rows is empty.
    void showRows(RowIndex rows, bool trailingEmptyRow);
    /// Forgets rows whose pairs are no longer in the list (the search has emptied it under the table).
    void dropStaleRows();

    std::size_t shownPairs() const { return m_rows.size(); }
    /// The pair shown in data row \p row, or -1 for an empty row.
    std::int64_t pairAt(int row) const;
    /// The first row showing \p pair or a later one, the last row when none does (the rows are in pair order).
    int rowFromPair(std::uint32_t pair) const;

private:
    const FileList& m_pairs;
    RowIndex m_rows;
    bool m_trailingEmptyRow = true;
    std::uint32_t m_highestPair = 0;
    QStringList m_header;
};

} // namespace twinspotter
