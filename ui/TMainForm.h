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
class QPushButton;
class QSettings;
class QTableView;

namespace twinspotter {

class ResultsModel;
class TSplashScrForm;

class TMainForm : public QMainWindow, private CommandHost
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 1026;
    static constexpr int kClientHeight = 615;
    static constexpr int kTopPanelHeight = 105;
    static constexpr int kBottomPanelHeight = 67;

    /// Builds the window with both locations empty (single-directory mode). \p fs is what searches walk.
    explicit TMainForm(FileSystem& fs = realFileSystem(), QWidget* parent = nullptr);
    ~TMainForm() override;

    /// The splash that the first show puts up modally; without one the start-up goes straight on.
    void setSplash(TSplashScrForm* splash) { m_splash = splash; }
    /// The start-up steps that run once: all but the update prompt just before the window first appears, the
    /// prompt once it is on screen. Public so that a test can run them on a window it never shows.
    void FormShow();

    /// Refills the table and the count labels from the pair list.
    void RebuildResultsTable();

    SearchSession& session() { return m_session; }
    ResultsModel* resultsModel() const { return m_model; }
    const QString& AppReleaseDate() const { return m_appReleaseDate; }
    const QString& twinspotter_caption() const { return m_caption; }
    QSettings* Reg() const { return m_reg.get(); }

    // Controls, named as everywhere else in the program.
    QLineEdit* edtStartDir1 = nullptr;
    QPushButton* TntBitBtn1 = nullptr;
    QLineEdit* edtStartDir2 = nullptr;
    QPushButton* TntBitBtn2 = nullptr;
    QLabel* lbTotalFiles1 = nullptr;
    QLabel* lbTotalfiles2 = nullptr;
    QLabel* Labelcount1 = nullptr;
    QLabel* ProgressLabel = nullptr;
    QLabel* ProgressCounter = nullptr;
    QPushButton* Buttonfind = nullptr;
    QCheckBox* chkName = nullptr;
    QCheckBox* chkDate = nullptr;
    QCheckBox* chkSize = nullptr;
    QCheckBox* chkContent = nullptr;
    QPushButton* btnCancel = nullptr;
    QTableView* strGridD = nullptr;
    QCheckBox* chksafety = nullptr;
    QLineEdit* edtSavedir = nullptr;
    QPushButton* btnBrowsSaveD = nullptr;
    QCheckBox* chkTrash = nullptr;
    QLabel* lbUseShift = nullptr;
    QPushButton* btnDelDir1 = nullptr;
    QPushButton* btnDelDir2 = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* TntBitBtn3 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* About2 = nullptr;
    QAction* About1 = nullptr;
    QAction* Contactus1 = nullptr;

    /// Fills Location 1 and 2 as typing them would: a non-empty Location 2 switches to two-location mode.
    void setLocations(const QString& location1, const QString& location2);

    /// The About box and the contact dialog, shown modally from the About menu once they exist.
    void setAboutWindows(QDialog* aboutForm, QDialog* contactMessage);

public slots:
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void ButtonfindClick();
    void btnCancelClick();
    void edtStartDir2Change();
    void TntBitBtn1Click();
    void TntBitBtn2Click();
    void TntBitBtn3Click();
    void Exit1Click();
    void About1Click();
    void Contactus1Click();
    void strGridDClick();
    void strGridDSelectCell();
    void strGridDDblClick();
    void btnDeleteClick();
    void btnDelDir1Click();
    void btnDelDir2Click();
    void chksafetyClick();
    void edtSavedirChange();
    void btnBrowsSaveDClick();
    void chkTrashClick();

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
    void rebuildResultsTable() override;
    void showPairCount(std::string_view text) override;
    bool safetyTicked() const override;
    PathString safetyDirectory() const override;
    bool trashTicked() const override;
    void disableBulkRemoval() override;

    /// Splash, settings key, stale updater, online settings, caption and header row; false when one failed (and
    /// was reported), which skips the update prompt.
    bool runStartUpSteps();
    /// The update prompt, its waiting texts in ProgressLabel and its errors in the general error report.
    void runUpdatePrompt();
    void buildTopPanel();
    void buildBottomPanel();
    void placeRegions();
    void FormCanResize(int outerWidth);
    void applySelectionRule();
    /// btnDelete's state as the commands set it; while a search runs the button stays disabled regardless.
    void setDeleteEnabled(bool enabled);
    void setSearchLocked(bool locked);
    void closeIfPending();
    /// Holds the search and the other commands off while a removal runs; releasing closes a pending close.
    void setRemovalLocked(bool locked);
    /// Runs a removal command unless a search or removal is under way, with the window locked around it.
    void runRemoval(const std::function<void()>& command);
    /// The top and bottom row of the table's selection; none when nothing is selected.
    std::optional<std::pair<int, int>> selectedRange() const;
    /// The selected-rows buttons are enabled only while two or more rows are selected and nothing runs.
    void updateSelectedRowButtons();
    /// What the number column needs to show the highest row number whole.
    int numberColumnWidth() const;
    /// The selected rows' directory (the side's column) and name texts, top to bottom.
    std::vector<SelectedRow> selectedRows(Side side) const;

    SearchSession m_session;
    ResultsModel* m_model = nullptr;
    TSplashScrForm* m_splash = nullptr;
    QDialog* m_aboutForm = nullptr;
    QDialog* m_contactMessage = nullptr;
    QWidget* m_client = nullptr;
    QWidget* m_topPanel = nullptr;
    QWidget* m_bottomPanel = nullptr;
    std::unique_ptr<QSettings> m_reg;
    QString m_appReleaseDate;
    QString m_caption;
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
