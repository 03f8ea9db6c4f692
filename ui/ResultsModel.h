// The results table's model: reads a pair list it shares through a row-to-pair index, so rows cost no items.
#pragma once

#include "core/FileRecord.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace twinspotter {

enum class ResultsColumn { Nr, FileName, Location1, Location2, Count };

class ResultsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    /// Row indexes are 32-bit: four bytes a row keep a million rows small.
    using RowIndex = std::vector<std::uint32_t>;

    explicit ResultsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// Writes the header texts; until then the header row is blank.
    void writeHeaderRow();
    /// The header row and one empty data row; the pair list shown until now is let go.
    void showNothing();
    /// Shows one data row per entry of \p rows (indexes into \p pairs), followed by one empty row when
    /// \p trailingEmptyRow or when \p rows is empty. The list is held until the next call: a search never changes
    /// a list it has handed out, so the rows can never point past its end.
    void showRows(std::shared_ptr<const FileList> pairs, RowIndex rows, bool trailingEmptyRow);

    std::size_t shownPairs() const { return m_rows.size(); }
    /// The pair shown in data row \p row, or -1 for an empty row.
    std::int64_t pairAt(int row) const;
    /// The first row showing \p pair or a later one, the last row when none does (the rows are in pair order).
    int rowFromPair(std::uint32_t pair) const;

private:
    std::shared_ptr<const FileList> m_pairs;
    RowIndex m_rows;
    bool m_trailingEmptyRow = true;
    QStringList m_header;
};

} // namespace twinspotter
