// The main window: locations, criteria, the search command, the results table and the removal controls.
#pragma once

#include "core/CommandHost.h"
#include "core/SearchSession.h"

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
class QSettings;
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
    /// The start-up steps that run once: all but the update prompt just before the window first appears, the
    /// prompt once it is on screen. Public so that a test can run them on a window it never shows.
    void startUp();

    /// Refills the table and the count labels from the pair list.
    void rebuildResultsTable() override;

    SearchSession& session() { return m_session; }
    const QString& appReleaseDate() const { return m_appReleaseDate; }
    const QString& caption() const { return m_caption; }
    /// The settings key the start-up opened; null before it.
    QSettings* settings() const { return m_settings.get(); }

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

private slots:
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

private:
    // CommandHost: what the search needs from the window.
    void serviceEvents() override;
    void showProgress(std::string_view text) override;
    void showPhase(std::string_view text) override;
    bool sameDate() const override;
    bool sameSize() const override;
    bool sameContent() const override;
    bool confirm(std::string_view question) override;
    void inform(std::string_view message) override;
    void reportKept(const std::vector<KeptFile>& kept) override;
    void searchStarted() override;
    void searchEnded() override;
    void showPairCount(std::string_view text) override;
    bool safetyTicked() const override;
    PathString safetyDirectory() const override;
    bool trashTicked() const override;
    void disableBulkRemoval() override;

    /// Splash, settings key, stale updater, online settings, caption and header row; false when one failed (and
    /// was reported), which skips the update prompt.
    bool runStartUpSteps();
    /// The update prompt, its waiting texts in the phase label and its errors in the general error report.
    void askAboutUpdate();
    void buildTopPanel();
    void buildBottomPanel();
    void placeRegions();
    void fitColumnsToWidth(int outerWidth);
    /// The folder picker; a chosen folder goes into \p box.
    void browseInto(QLineEdit* box);
    /// The bulk-removal button's state as the commands set it; while a search runs the button stays disabled
    /// regardless.
    void setDeleteEnabled(bool enabled);
    void setSearchLocked(bool locked);
    void closeIfPending();
    /// Holds the search and the other commands off while a removal runs; releasing closes a pending close.
    void setRemovalLocked(bool locked);
    /// Runs a removal command unless a search or removal is under way, with the window locked around it.
    void runRemoval(const std::function<void()>& command);
    /// The rows from the top to the bottom of the table's selection (one contiguous range).
    struct RowSpan
    {
        int top = 0;
        int bottom = 0;
        bool several() const { return bottom > top; }
    };
    /// None when nothing is selected.
    std::optional<RowSpan> selectedSpan() const;
    /// The selected-rows buttons are enabled only while two or more rows are selected and nothing runs.
    void updateSelectedRowButtons();
    /// What the number column needs to show the highest row number whole.
    int numberColumnWidth() const;
    /// The selected rows' directory (the side's column) and name texts, top to bottom.
    std::vector<SelectedRow> selectedRows(Side side) const;

    SearchSession m_session;
    ResultsModel* m_model = nullptr;
    SplashScreen* m_splash = nullptr;
    QDialog* m_aboutDialog = nullptr;
    QDialog* m_contactDialog = nullptr;
    QWidget* m_client = nullptr;
    QWidget* m_topPanel = nullptr;
    QWidget* m_bottomPanel = nullptr;
    std::unique_ptr<QSettings> m_settings;
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
    bool m_searchRunning = false;
    bool m_rebuilding = false;
    bool m_deleteWanted = false;
    bool m_closePending = false;
    bool m_removalLocked = false;
    /// Time since the window last serviced its events in the middle of a long command.
    QElapsedTimer m_serviceClock;
    static constexpr qint64 kServiceIntervalMs = 10;
};

} // namespace twinspotter
