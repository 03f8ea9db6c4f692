// The results table's model.
#include "ui/ResultsModel.h"

#include "ui/PathText.h"

#include <algorithm>

namespace twinspotter {

namespace {

constexpr int kColumns = static_cast<int>(ResultsColumn::Count);

} // namespace

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent), m_header(kColumns, QString()) {}

int ResultsModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_rows.size()) + (m_trailingEmptyRow ? 1 : 0);
}

int ResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

std::int64_t ResultsModel::pairAt(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return -1;
    const std::uint32_t pair = m_rows[static_cast<std::size_t>(row)];
    return m_pairs && pair < m_pairs->size() ? std::int64_t(pair) : -1;
}

int ResultsModel::rowFromPair(std::uint32_t pair) const
{
    const auto found = std::lower_bound(m_rows.begin(), m_rows.end(), pair);
    const auto row = static_cast<int>(found - m_rows.begin());
    return std::min(row, rowCount() - 1);
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    // Narrow columns elide long names and paths; the tooltip shows them whole.
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid())
        return {};
    if (role == Qt::ToolTipRole && index.column() == static_cast<int>(ResultsColumn::Nr))
        return {};
    const std::int64_t pair = pairAt(index.row());
    if (pair < 0)
        return QString();
    const FileRecord& record = (*m_pairs)[static_cast<std::size_t>(pair)];
    switch (static_cast<ResultsColumn>(index.column())) {
    case ResultsColumn::Nr:
        return QString::number(index.row() + 1);
    case ResultsColumn::FileName:
        return displayText(record.name);
    case ResultsColumn::Location1:
        return displayText(record.dir1());
    case ResultsColumn::Location2:
        return displayText(record.dir2());
    case ResultsColumn::Count:
        break;
    }
    return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_header[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void ResultsModel::writeHeaderRow()
{
    m_header = {QStringLiteral(" Nr"), QStringLiteral(" File name"), QStringLiteral(" Location 1"),
                QStringLiteral(" Location 2")};
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

void ResultsModel::showNothing()
{
    showRows(nullptr, {}, true);
}

void ResultsModel::showRows(std::shared_ptr<const FileList> pairs, RowIndex rows, bool trailingEmptyRow)
{
    beginResetModel();
    m_pairs = std::move(pairs);
    m_rows = std::move(rows);
    m_trailingEmptyRow = trailingEmptyRow || m_rows.empty();
    endResetModel();
}

} // namespace twinspotter
