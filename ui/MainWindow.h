// The main window: locations, criteria, the search command, the results table and the removal controls.
#pragma once

#include "core/CommandHost.h"
#include "core/SearchSession.h"
#include "ui/Desktop.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QAction;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPoint;
class QPushButton;
class QTableView;

namespace twinspotter {

class ResultsModel;
class SplashScreen;

/// Every control carries the object name that tests and accessibility tools find it by ("edtStartDir1",
/// "Buttonfind", "strGridD", ...); the members are named for what the controls are.
class MainWindow : public QMainWindow, private CommandHost
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 1026;
    static constexpr int kClientHeight = 615;
    static constexpr int kTopPanelHeight = 105;
    static constexpr int kBottomPanelHeight = 67;

    /// Builds the window with both locations empty (single-directory mode). \p fs is what searches walk.
    explicit MainWindow(FileSystem& fs = realFileSystem(), QWidget* parent = nullptr);
    ~MainWindow() override;

    /// The splash that the first show puts up modally; without one the start-up goes straight on.
    void setSplash(SplashScreen* splash) { m_splash = splash; }
    /// Refills the table and the count labels from the pair list.
    void rebuildResultsTable();

    SearchSession& session() { return m_session; }
    /// True while the location-2 text is empty: a search compares the files of location 1 with each other.
    bool singleDirectory() const { return m_singleDirectory; }
    /// The pair last opened in the detailed view.
    std::size_t detailedPair() const { return m_detailedPair; }
    const QString& appReleaseDate() const { return m_appReleaseDate; }
    const QString& caption() const { return m_caption; }
    /// The settings key the start-up opened; null before it.
    const desktop::SettingsKey* settingsKey() const { return m_settingsKey.get(); }

    /// Fills Location 1 and 2 as typing them would: a non-empty Location 2 switches to two-location mode.
    void setLocations(const QString& location1, const QString& location2);

    /// The About box and the contact dialog, shown modally from the About menu once they exist.
    void setAboutWindows(QDialog* aboutDialog, QDialog* contactDialog);

    /// The location box that \p globalPos lies strictly inside (a point on its border line is outside); null for a
    /// point outside both.
    QLineEdit* locationBoxAt(const QPoint& globalPos) const;
    /// False while a command has locked the location boxes.
    bool locationsEditable() const;

public slots:
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The handlers of the controls, connected through reportingErrors() so that no exception reaches Qt.
    void search();
    void cancelSearch();
    void location2Changed();
    void showAboutDialog();
    void showContactDialog();
    void applySelectionRule();
    void openPairDetails();
    void removeAllLocation2Copies();
    void removeSelectedFromLocation1();
    void removeSelectedFromLocation2();
    void safetyOptionToggled();
    void safetyDirectoryChanged();
    void trashOptionToggled();

    // CommandHost: what the search and removal commands need from the window.
    void serviceEvents() override;
    void showProgress(const Progress& progress) override;
    SearchCriteria criteria() const override;
    RemovalTarget removalTarget() const override;
    bool confirm(std::string_view question) override;
    void inform(std::string_view message) override;
    void reportKept(const std::vector<KeptFile>& kept) override;

    /// What the window is doing: a command holds the others off until it has returned and the table is rebuilt.
    enum class Activity {
        Idle,
        Searching,   ///< locations, search and removals locked; Cancel enabled
        Removing,    ///< locations, search and removals locked
        Rebuilding,  ///< a rebuild of its own: nothing locked, other commands refused
        ViewingPair, ///< the detailed view is open, and may remove a file: nothing locked, other commands refused
    };
    /// A command, the detailed view or a rebuild is under way: the one account of it, which every command asks.
    bool busy() const;
    /// Enables and disables the controls for \p activity.
    void setActivity(Activity activity);
    /// Arms or disarms the bulk removal; its button is enabled only while armed and no command runs.
    void setBulkRemovalArmed(bool armed);
    /// The bulk and the selected-rows buttons as the armed state, the selection and the activity allow.
    void updateRemovalButtons();

    /// Splash, settings key, stale updater, online settings, caption and header row; false when one failed (and
    /// was reported), which skips the update prompt.
    bool runStartUpSteps();
    /// The update prompt, its waiting texts in the phase label and its errors in the general error report.
    void askAboutUpdate();
    void buildTopPanel();
    void buildBottomPanel();
    void placeRegions();
    void fitColumnsToWidth(int outerWidth);
    /// Adds to \p countLabel why \p location gave no file: it does not exist, is a file or cannot be listed. The
    /// words are short: the label has room for little more than its count.
    void appendLocationProblem(QLabel* countLabel, const QString& location);
    /// The folder picker; a chosen folder goes into \p box.
    void browseInto(QLineEdit* box);
    /// Closes the window when a close was asked for while it was busy and it no longer is.
    void closeIfPending();
    /// Runs a removal command unless the window is busy, with the window locked around it, and rebuilds the table
    /// once a confirmed command has returned.
    void runRemoval(const std::function<RemovalReport()>& command);
    /// The rows from the top to the bottom of the table's selection (one contiguous range).
    struct RowSpan
    {
        int top = 0;
        int bottom = 0;
        bool several() const { return bottom > top; }
    };
    /// The pairs of the first visible and of the current row (-1: none), to come back to after a rebuild.
    struct TablePlace
    {
        std::int64_t top = -1;
        std::int64_t current = -1;
    };
    TablePlace tablePlace() const;
    /// Shows \p place again, or the nearest rows that remain, without changing the selection.
    void returnTo(const TablePlace& place);
    /// None when nothing is selected.
    std::optional<RowSpan> selectedSpan() const;
    /// What the number column needs to show the highest row number whole.
    int numberColumnWidth() const;
    /// The selected rows' directory (the side's column) and name texts, top to bottom.
    std::vector<SelectedRow> selectedRows(Side side) const;

    SearchSession m_session;
    bool m_singleDirectory = true;
    std::size_t m_detailedPair = 0;
    ResultsModel* m_model = nullptr;
    SplashScreen* m_splash = nullptr;
    QDialog* m_aboutDialog = nullptr;
    QDialog* m_contactDialog = nullptr;
    QWidget* m_client = nullptr;
    QWidget* m_topPanel = nullptr;
    QWidget* m_bottomPanel = nullptr;
    std::unique_ptr<desktop::SettingsKey> m_settingsKey;
    QString m_appReleaseDate;
    QString m_caption;

    QLineEdit* m_location1Edit = nullptr;
    QPushButton* m_browseLocation1Button = nullptr;
    QLineEdit* m_location2Edit = nullptr;
    QPushButton* m_browseLocation2Button = nullptr;
    QLabel* m_location1CountLabel = nullptr;
    QLabel* m_location2CountLabel = nullptr;
    QLabel* m_pairCountLabel = nullptr;
    QLabel* m_phaseLabel = nullptr;
    QLabel* m_progressCounter = nullptr;
    QPushButton* m_searchButton = nullptr;
    QCheckBox* m_sameNameBox = nullptr;
    QCheckBox* m_sameDateBox = nullptr;
    QCheckBox* m_sameSizeBox = nullptr;
    QCheckBox* m_sameContentBox = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QTableView* m_resultsTable = nullptr;
    QCheckBox* m_safetyBox = nullptr;
    QLineEdit* m_safetyDirectoryEdit = nullptr;
    QPushButton* m_browseSafetyButton = nullptr;
    QCheckBox* m_trashBox = nullptr;
    QLabel* m_selectionHint = nullptr;
    QPushButton* m_removeSelected1Button = nullptr;
    QPushButton* m_removeSelected2Button = nullptr;
    QPushButton* m_removeAllButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_exitAction = nullptr;
    QMenu* m_aboutMenu = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_contactAction = nullptr;

    bool m_started = false;
    Activity m_activity = Activity::Idle;
    /// Whether the bulk removal may run, as the mode, the selection and the commands set it; its button is enabled
    /// only while it is armed and no search or removal runs.
    bool m_bulkRemovalArmed = false;
    bool m_closePending = false;
    /// The user has set column widths since the window last took a new size; rebuilds keep them.
    bool m_userColumnWidths = false;
    bool m_fittingColumns = false;
    /// Time since the window last serviced its events in the middle of a long command.
    QElapsedTimer m_serviceClock;
    std::uint64_t m_progress = 0;
    bool m_progressPending = false;
    static constexpr qint64 kServiceIntervalMs = 10;
};

} // namespace twinspotter
