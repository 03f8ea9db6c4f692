// The detailed view of one pair: both files with path, size and date; removes the one the user chooses.
#pragma once

#include "core/CommandHost.h"
#include "core/SearchSession.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;
class QUrl;

namespace twinspotter {

/// "0.9765625 Kb": \p size / 1024 in plain decimal (no exponent, up to 15 significant digits, no trailing zeros,
/// no thousands separators) with the user's decimal separator.
QString sizeText(std::int64_t size);
/// The packed date in the user's short date format and, unless it is exactly midnight, a blank and the user's long
/// time format.
QString dateText(std::int32_t packedDate);

/// Its object name and its controls' ("DetailedViewForm", "strGridDel", "btnDelete", "btnClose") are what tests and
/// accessibility tools know them by.
class PairDetailsDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 787;
    static constexpr int kClientHeight = 196;
    /// Grid rows of the location-1 and the location-2 file; the header sits above them.
    static constexpr int kRowLocation1 = 0;
    static constexpr int kRowLocation2 = 1;

    /// Opens a file with its program; the desktop's Open unless a test has put its own in place.
    using FileOpener = std::function<void(const QUrl&)>;
    static void setFileOpener(FileOpener opener);

    /// \p session holds the pair list and the pair to show; \p host answers the confirmation and gives the safety
    /// option.
    /// Shows pair \p pairIndex of \p session.
    PairDetailsDialog(SearchSession& session, std::size_t pairIndex, CommandHost& host, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Handlers, connected through reportingErrors() so that no exception reaches Qt.
    void removeChosenFile();
    void openChosenFile();
    void emptyRows();
    /// Fills the grid from the session's detailed pair; row 1 becomes current.
    void showPair();
    /// The grid row of the chosen file: location 1's while its row is current, location 2's otherwise.
    int chosenRow() const;
    void setRow(int row, const QString& number, const QString& path, const QString& size, const QString& date);
    void fitSizeAndDate();

    SearchSession& m_session;
    CommandHost& m_host;
    std::size_t m_pair = 0; ///< the pair shown

    QLabel* m_hintLabel = nullptr;
    QTableWidget* m_filesTable = nullptr;
    QPushButton* m_removeButton = nullptr;
    QPushButton* m_closeButton = nullptr;
};

} // namespace twinspotter
