// The main window: its controls, the search command's binding, the results table and the start-up steps.
#include "ui/MainWindow.h"

#include "core/Version.h"
#include "online/OnlineSettings.h"
#include "ui/AppMessage.h"
#include "ui/Application.h"
#include "ui/ColumnWidths.h"
#include "ui/Dialogs.h"
#include "ui/OnlineWait.h"
#include "ui/PairDetailsDialog.h"
#include "ui/PathText.h"
#include "ui/ResultsModel.h"
#include "ui/SplashScreen.h"
#include "ui/UpdatePrompt.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTableView>

#include <cmath>
#include <functional>
#include <optional>
#include <utility>

namespace twinspotter {

namespace {

const QString kCaptionPrefix = QStringLiteral("Duplicate file finder  v. ");
const QString kUpdaterFile = QStringLiteral("TwinspotterUpdate.exe");

// The bulk-removal button's place in the bottom panel at the design width; it keeps its share of the width when
// resized.
constexpr int kDeleteLeft = 784;
constexpr int kExitWidth = 84;
constexpr int kExitRightGap = 8;
// Since the bulk-removal button keeps its share of the width while " E x i t" keeps its distance from the right edge,
// the two meet as soon as the window is narrower than its design width: that is the narrowest it may be. The table
// keeps room for its header and a few rows.
constexpr int kMinimumTableHeight = 120;
// The rebuild lets the window breathe once per this many rows.
constexpr std::size_t kRowsPerService = 300;

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

// "Doublicates found: 3", and what the content comparison left out when it left out any.
QString pairCountText(const SearchReport& report)
{
    QString text = QStringLiteral("Doublicates found: ") + QString::number(report.pairs);
    if (report.content.unreadable > 0)
        text += QStringLiteral(", unreadable: ") + QString::number(report.content.unreadable);
    if (report.content.changed > 0)
        text += QStringLiteral(", changed: ") + QString::number(report.content.changed);
    return text;
}

// A point on the box's border line is outside: the box's own coordinates run from 0 to its width and height.
bool strictlyInside(const QLineEdit& box, const QPoint& globalPos)
{
    const QPoint p = box.mapFromGlobal(globalPos);
    return 0 < p.x() && p.x() < box.width() && 0 < p.y() && p.y() < box.height();
}

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

MainWindow::MainWindow(FileSystem& fs, QWidget* parent) : QMainWindow(parent), m_session(fs)
{
    setObjectName(QStringLiteral("MainForm"));

    m_client = new QWidget(this);
    m_client->setMinimumSize(kClientWidth, kTopPanelHeight + kMinimumTableHeight + kBottomPanelHeight);
    m_client->installEventFilter(this);
    setCentralWidget(m_client);

    buildTopPanel();

    m_resultsTable = named(new QTableView(m_client), "strGridD");
    m_model = new ResultsModel(this);
    m_resultsTable->setModel(m_model);
    m_resultsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_resultsTable->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_resultsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the next control; the arrows move between rows.
    m_resultsTable->setTabKeyNavigation(false);
    m_resultsTable->setAccessibleName(QStringLiteral("Duplicate pairs"));
    m_resultsTable->installEventFilter(this);
    m_resultsTable->setWordWrap(false);
    m_resultsTable->setTextElideMode(Qt::ElideMiddle);
    m_resultsTable->verticalHeader()->hide();
    // Fixed row heights keep a million rows cheap: the view never measures contents.
    m_resultsTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_resultsTable->verticalHeader()->setDefaultSectionSize(m_resultsTable->fontMetrics().height() + 6);
    m_resultsTable->horizontalHeader()->setHighlightSections(false);
    m_resultsTable->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int initialWidths[] = {30, 100, 439, 429};
    for (int column = 0; column < 4; ++column)
        m_resultsTable->setColumnWidth(column, initialWidths[column]);
    // Widths the user set hold until the window is resized, when the rule shares out the new width again.
    connect(m_resultsTable->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        if (!m_fittingColumns)
            m_userColumnWidths = true;
    });
    connect(m_resultsTable, &QTableView::clicked, this, reportingErrors(this, &MainWindow::applySelectionRule));
    connect(m_resultsTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            reportingErrors(this, &MainWindow::applySelectionRule));
    connect(m_resultsTable, &QTableView::doubleClicked, this, reportingErrors(this, &MainWindow::openPairDetails));

    buildBottomPanel();

    // The menus take Alt+F and Alt+A, which would otherwise type a letter into the location box that has the focus.
    m_fileMenu = named(menuBar()->addMenu(QStringLiteral("&File")), "File1");
    m_exitAction = named(m_fileMenu->addAction(QStringLiteral("E&xit")), "Exit1");
    connect(m_exitAction, &QAction::triggered, this, &QWidget::close);
    m_aboutMenu = named(menuBar()->addMenu(QStringLiteral("&About")), "About2");
    m_aboutAction = named(m_aboutMenu->addAction(QStringLiteral("&About Twinspotter")), "About1");
    m_contactAction = named(m_aboutMenu->addAction(QStringLiteral("&Contact Us")), "Contactus1");
    m_aboutAction->setEnabled(false);
    m_contactAction->setEnabled(false);
    connect(m_aboutAction, &QAction::triggered, this, reportingErrors(this, &MainWindow::showAboutDialog));
    connect(m_contactAction, &QAction::triggered, this, reportingErrors(this, &MainWindow::showContactDialog));

    // Clearing location 2 is a change of it, so the window opens in single-directory mode even
    // though an empty field emits no change of its own.
    m_location1Edit->clear();
    m_location2Edit->clear();
    location2Changed();

    // Top left to bottom right: the locations, the search, the criteria, the table, then the bottom panel row by row.
    QWidget* const order[] = {m_location1Edit,
                              m_browseLocation1Button,
                              m_location2Edit,
                              m_browseLocation2Button,
                              m_searchButton,
                              m_cancelButton,
                              m_sameNameBox,
                              m_sameDateBox,
                              m_sameSizeBox,
                              m_sameContentBox,
                              m_resultsTable,
                              m_safetyBox,
                              m_trashBox,
                              m_safetyDirectoryEdit,
                              m_browseSafetyButton,
                              m_removeSelected1Button,
                              m_removeSelected2Button,
                              m_removeAllButton,
                              m_exitButton};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    placeRegions();

    // Files dropped from the desktop land on the window; the hook puts them into the location under the cursor.
    setAcceptDrops(true);
    new AppMessage(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildTopPanel()
{
    m_topPanel = named(new QWidget(m_client), "TopPanel");

    // Alt+1 and Alt+2 go to the location boxes; the "..." buttons are read by what they do.
    auto* location1 = named(new QLabel(QStringLiteral("Location &1"), m_topPanel), "LabelLocation1");
    location1->setGeometry(8, 2, 200, 18);
    m_location1Edit = named(new QLineEdit(m_topPanel), "edtStartDir1");
    m_location1Edit->setGeometry(8, 20, 358, 26);
    m_location1Edit->setAccessibleName(QStringLiteral("Location 1"));
    location1->setBuddy(m_location1Edit);
    m_browseLocation1Button = named(new QPushButton(QStringLiteral("..."), m_topPanel), "TntBitBtn1");
    m_browseLocation1Button->setGeometry(370, 20, 30, 26);
    m_browseLocation1Button->setAccessibleName(QStringLiteral("Browse for location 1"));

    auto* location2 = named(new QLabel(QStringLiteral("Location &2"), m_topPanel), "LabelLocation2");
    location2->setGeometry(8, 52, 200, 18);
    m_location2Edit = named(new QLineEdit(m_topPanel), "edtStartDir2");
    m_location2Edit->setGeometry(8, 70, 358, 26);
    m_location2Edit->setAccessibleName(QStringLiteral("Location 2"));
    location2->setBuddy(m_location2Edit);
    m_browseLocation2Button = named(new QPushButton(QStringLiteral("..."), m_topPanel), "TntBitBtn2");
    m_browseLocation2Button->setGeometry(370, 70, 30, 26);
    m_browseLocation2Button->setAccessibleName(QStringLiteral("Browse for location 2"));

    m_pairCountLabel = named(new QLabel(QStringLiteral("Duplicate Files Found:"), m_topPanel), "Labelcount1");
    // Wide enough for the longest count texts with ten-digit numbers.
    m_pairCountLabel->setGeometry(410, 2, 310, 18);
    m_location1CountLabel = named(new QLabel(QStringLiteral("Total files in Location 1"), m_topPanel), "lbTotalFiles1");
    m_location1CountLabel->setGeometry(410, 24, 310, 18);
    m_phaseLabel = named(new QLabel(m_topPanel), "ProgressLabel");
    m_phaseLabel->setGeometry(410, 50, 236, 18);
    setTextColor(m_phaseLabel, Qt::blue);
    m_progressCounter = named(new QLabel(m_topPanel), "ProgressCounter");
    m_progressCounter->setGeometry(650, 50, 70, 18);
    setTextColor(m_progressCounter, Qt::red);
    QFont bold = m_progressCounter->font();
    bold.setBold(true);
    m_progressCounter->setFont(bold);
    m_location2CountLabel =
        named(new QLabel(QStringLiteral("Total files in Location 2 "), m_topPanel), "lbTotalfiles2");
    m_location2CountLabel->setGeometry(410, 74, 310, 18);

    m_searchButton = named(new QPushButton(QStringLiteral("&Single directory search"), m_topPanel), "Buttonfind");
    m_searchButton->setGeometry(728, 12, 170, 36);
    m_cancelButton = named(new QPushButton(QStringLiteral("Cance&l"), m_topPanel), "btnCancel");
    m_cancelButton->setGeometry(728, 60, 170, 30);
    m_cancelButton->setEnabled(false);

    m_sameNameBox = named(new QCheckBox(QStringLiteral("Same &name"), m_topPanel), "chkName");
    // The criteria column has rows of 24 pixels and room for a fourth box below these three.
    m_sameNameBox->setGeometry(906, 4, 112, 22);
    m_sameNameBox->setChecked(true);
    m_sameNameBox->setEnabled(false);
    m_sameDateBox = named(new QCheckBox(QStringLiteral("Same &date"), m_topPanel), "chkDate");
    m_sameDateBox->setGeometry(906, 28, 112, 22);
    m_sameDateBox->setChecked(true);
    m_sameSizeBox = named(new QCheckBox(QStringLiteral("Same si&ze"), m_topPanel), "chkSize");
    m_sameSizeBox->setGeometry(906, 52, 112, 22);
    m_sameSizeBox->setChecked(true);
    // Unticked at every start: reading every candidate file is a choice for this search, not a habit to keep.
    m_sameContentBox = named(new QCheckBox(QStringLiteral("Same c&ontent"), m_topPanel), "chkContent");
    m_sameContentBox->setGeometry(906, 76, 112, 22);

    connect(m_searchButton, &QPushButton::clicked, this, reportingErrors(this, &MainWindow::search));
    connect(m_cancelButton, &QPushButton::clicked, this, reportingErrors(this, &MainWindow::cancelSearch));
    connect(m_location2Edit, &QLineEdit::textChanged, this, reportingErrors(this, &MainWindow::location2Changed));
    connect(m_location1Edit, &QLineEdit::returnPressed, this, reportingErrors(this, &MainWindow::search));
    connect(m_location2Edit, &QLineEdit::returnPressed, this, reportingErrors(this, &MainWindow::search));
    connect(m_browseLocation1Button, &QPushButton::clicked, this,
            reportingErrors([this] { browseInto(m_location1Edit); }));
    connect(m_browseLocation2Button, &QPushButton::clicked, this,
            reportingErrors([this] { browseInto(m_location2Edit); }));
}

void MainWindow::buildBottomPanel()
{
    m_bottomPanel = named(new QWidget(m_client), "BottomPanel");

    m_safetyBox =
        named(new QCheckBox(QStringLiteral("&move files to a specific directory instead of deleting for safety"),
                            m_bottomPanel),
              "chksafety");
    // The first row holds the safety option and, right of it up to the selection hint, room for one more option.
    m_safetyBox->setGeometry(8, 6, 404, 22);
    m_safetyDirectoryEdit = named(new QLineEdit(m_bottomPanel), "edtSavedir");
    m_safetyDirectoryEdit->setGeometry(8, 34, 320, 26);
    m_safetyDirectoryEdit->setReadOnly(true);
    m_safetyDirectoryEdit->hide();
    m_safetyDirectoryEdit->setAccessibleName(QStringLiteral("Safety directory"));
    m_browseSafetyButton = named(new QPushButton(QStringLiteral("..."), m_bottomPanel), "btnBrowsSaveD");
    m_browseSafetyButton->setAccessibleName(QStringLiteral("Browse for the safety directory"));
    m_browseSafetyButton->setGeometry(332, 34, 28, 26);
    // Beside the safety option, the other way of keeping what goes; ticking one unticks the other.
    m_trashBox = named(new QCheckBox(desktop::trashOptionCaption(), m_bottomPanel), "chkTrash");
    m_trashBox->setGeometry(420, 6, 300, 22);
    m_browseSafetyButton->hide();

    m_selectionHint = named(
        new QLabel(QStringLiteral("Use shift and arrows to select files for deletion"), m_bottomPanel), "lbUseShift");
    m_selectionHint->setGeometry(728, 8, 290, 18);
    setTextColor(m_selectionHint, Qt::blue);
    m_removeSelected1Button =
        named(new QPushButton(QStringLiteral("delete selected from di&rectory 1"), m_bottomPanel), "btnDelDir1");
    m_removeSelected1Button->setGeometry(366, 32, 204, 30);
    m_removeSelected1Button->hide();
    m_removeSelected2Button =
        named(new QPushButton(QStringLiteral("delete selected from director&y 2"), m_bottomPanel), "btnDelDir2");
    m_removeSelected2Button->setGeometry(574, 32, 204, 30);
    m_removeSelected2Button->hide();

    m_removeAllButton = named(new QPushButton(QStringLiteral("D&elete duplicate files"), m_bottomPanel), "btnDelete");
    m_removeAllButton->setToolTip(
        QStringLiteral("Delete all duplicate files, that are exact match from second directory."));
    m_removeAllButton->setGeometry(kDeleteLeft, 32, 142, 30);
    m_removeAllButton->setEnabled(false);
    // Spaced captions are spelt out letter by letter by a screen reader: it hears the word instead.
    m_exitButton = named(new QPushButton(QStringLiteral(" E &x i t"), m_bottomPanel), "TntBitBtn3");
    m_exitButton->setAccessibleName(QStringLiteral("Exit"));
    m_exitButton->setGeometry(kClientWidth - kExitRightGap - kExitWidth, 32, kExitWidth, 30);
    connect(m_exitButton, &QPushButton::clicked, this, &QWidget::close);

    connect(m_removeAllButton, &QPushButton::clicked, this,
            reportingErrors(this, &MainWindow::removeAllLocation2Copies));
    connect(m_removeSelected1Button, &QPushButton::clicked, this,
            reportingErrors(this, &MainWindow::removeSelectedFromLocation1));
    connect(m_removeSelected2Button, &QPushButton::clicked, this,
            reportingErrors(this, &MainWindow::removeSelectedFromLocation2));
    connect(m_safetyBox, &QCheckBox::toggled, this, reportingErrors(this, &MainWindow::safetyOptionToggled));
    connect(m_safetyDirectoryEdit, &QLineEdit::textChanged, this,
            reportingErrors(this, &MainWindow::safetyDirectoryChanged));
    connect(m_browseSafetyButton, &QPushButton::clicked, this,
            reportingErrors([this] { browseInto(m_safetyDirectoryEdit); }));
    connect(m_trashBox, &QCheckBox::toggled, this, reportingErrors(this, &MainWindow::trashOptionToggled));
    // The bulk-removal button is the window's cancel button: Escape without modifiers presses it, and a disabled button
    // ignores the press.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("btnDeleteShortcut"));
    connect(escape, &QShortcut::activated, m_removeAllButton, &QPushButton::click);
}

void MainWindow::placeRegions()
{
    const int width = m_client->width();
    const int height = m_client->height();
    m_topPanel->setGeometry(0, 0, width, kTopPanelHeight);
    m_resultsTable->setGeometry(0, kTopPanelHeight, width, std::max(0, height - kTopPanelHeight - kBottomPanelHeight));
    m_bottomPanel->setGeometry(0, std::max(kTopPanelHeight, height - kBottomPanelHeight), width, kBottomPanelHeight);

    m_removeAllButton->move(static_cast<int>(std::lround(double(kDeleteLeft) * width / kClientWidth)),
                            m_removeAllButton->y());
    m_exitButton->move(width - kExitRightGap - m_exitButton->width(), m_exitButton->y());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        placeRegions();
    // Enter on a row does what a double-click does. The view's own activation is not used: with a style that
    // activates on a single click it would open the detailed view for every click.
    if (watched == m_resultsTable && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
            runReportingErrors([this] { openPairDetails(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

int MainWindow::numberColumnWidth() const
{
    const QFontMetrics metrics(m_resultsTable->font());
    int digitWidth = 0;
    for (char digit = '0'; digit <= '9'; ++digit)
        digitWidth = std::max(digitWidth, metrics.horizontalAdvance(QLatin1Char(digit)));
    const auto digits = static_cast<int>(QString::number(std::max<std::size_t>(m_model->shownPairs(), 1)).size());
    // A cell's text sits inside the focus frame's margin on either side, and the grid line takes one pixel more.
    const int margin = m_resultsTable->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_resultsTable) + 1;
    return digits * digitWidth + 2 * margin + 1;
}

void MainWindow::fitColumnsToWidth(int outerWidth)
{
    const QScopedValueRollback fitting(m_fittingColumns, true);
    const std::array<int, 4> widths = columnWidthsForWindowWidth(outerWidth, numberColumnWidth());
    for (int column = 0; column < 4; ++column)
        m_resultsTable->setColumnWidth(column, widths[static_cast<std::size_t>(column)]);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_userColumnWidths = false;
    fitColumnsToWidth(frameGeometry().width());
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // The frame is known only now; the columns follow the window's width from the start.
    if (!m_userColumnWidths)
        fitColumnsToWidth(frameGeometry().width());
}

void MainWindow::setVisible(bool visible)
{
    const bool firstShow = visible && !m_started;
    const bool prepared = firstShow && runStartUpSteps();
    QMainWindow::setVisible(visible);
    // The update check blocks the thread: the window is on screen and painted first, so that a slow server reads
    // as waiting, not as a program that never opened.
    if (prepared) {
        paintNow(this);
        askAboutUpdate();
    }
}

bool MainWindow::runStartUpSteps()
{
    m_started = true;
    // A failing step skips the ones after it; the window still opens and works.
    try {
        if (m_splash)
            m_splash->exec();

        m_settingsKey = desktop::openSettingsKey();

        m_appReleaseDate = QString::fromLatin1(kReleaseDate);
        QFile::remove(kUpdaterFile);

        fillOnlineSettings();

        m_caption = kCaptionPrefix + QString::fromStdString(productVersion);
        setWindowTitle(m_caption);
        m_model->writeHeaderRow();
        return true;
    } catch (...) {
        reportCurrentError();
        return false;
    }
}

void MainWindow::askAboutUpdate()
{
    // The window answers while the check waits; Cancel, or closing the window, ends the wait.
    WindowWait wait(this);
    const auto cancelling = connect(m_cancelButton, &QPushButton::clicked, this, [&wait] { wait.cancel(); });
    m_cancelButton->setEnabled(true);
    runReportingErrors([this, &wait] {
        runUpdatePrompt(
            this,
            [this](const QString& text) {
                m_phaseLabel->setText(text);
                paintNow(m_phaseLabel);
            },
            &wait);
    });
    disconnect(cancelling);
    m_cancelButton->setEnabled(m_activity == Activity::Searching);
    if (wait.cancelled())
        m_phaseLabel->setText(QStringLiteral("Update check cancelled"));
}

void MainWindow::setLocations(const QString& location1, const QString& location2)
{
    m_location1Edit->setText(location1);
    m_location2Edit->setText(location2);
}

QLineEdit* MainWindow::locationBoxAt(const QPoint& globalPos) const
{
    for (QLineEdit* box : {m_location1Edit, m_location2Edit})
        if (strictlyInside(*box, globalPos))
            return box;
    return nullptr;
}

bool MainWindow::locationsEditable() const
{
    return m_location1Edit->isEnabled();
}

void MainWindow::setAboutWindows(QDialog* aboutDialog, QDialog* contactDialog)
{
    m_aboutDialog = aboutDialog;
    m_contactDialog = contactDialog;
    m_aboutAction->setEnabled(m_aboutDialog != nullptr);
    m_contactAction->setEnabled(m_contactDialog != nullptr);
}

void MainWindow::showAboutDialog()
{
    if (m_aboutDialog)
        m_aboutDialog->exec();
}

void MainWindow::showContactDialog()
{
    if (m_contactDialog)
        m_contactDialog->exec();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The command's own frames are still on the stack: a search is asked to stop, and the window closes once the
    // command has returned. A removal cannot be stopped half-way through its list; the window closes when it ends.
    if (busy()) {
        m_closePending = true;
        if (m_activity == Activity::Searching)
            m_session.cancel();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::closeIfPending()
{
    if (m_closePending && !busy()) {
        m_closePending = false;
        close();
    }
}

bool MainWindow::busy() const
{
    return m_activity != Activity::Idle;
}

void MainWindow::setActivity(Activity activity)
{
    m_activity = activity;
    // A rebuild of its own (after the detailed view) locks nothing: it only holds the other commands off.
    const bool locked = activity == Activity::Searching || activity == Activity::Removing;
    if (locked)
        m_serviceClock.invalidate();
    for (QWidget* control : std::initializer_list<QWidget*>{m_location1Edit, m_location2Edit, m_browseLocation1Button,
                                                            m_browseLocation2Button, m_searchButton})
        control->setEnabled(!locked);
    // Pressed once, Cancel stays off: the search button comes back only when the search has returned.
    m_cancelButton->setEnabled(activity == Activity::Searching);
    updateRemovalButtons();
}

void MainWindow::setBulkRemovalArmed(bool armed)
{
    m_bulkRemovalArmed = armed;
    updateRemovalButtons();
}

void MainWindow::updateRemovalButtons()
{
    const bool locked = m_activity == Activity::Searching || m_activity == Activity::Removing;
    m_removeAllButton->setEnabled(m_bulkRemovalArmed && !locked);
    // A rebuild clears the selection without a word to the selection rule: the buttons must not stay armed for
    // rows that are no longer selected.
    const std::optional<RowSpan> span = selectedSpan();
    const bool several = span && span->several();
    m_removeSelected1Button->setEnabled(several && !locked);
    m_removeSelected2Button->setEnabled(several && !locked);
}

void MainWindow::search()
{
    if (busy())
        return;
    if (m_location1Edit->text().isEmpty()) {
        dialogs().message(this, QStringLiteral("Please choose Location 1 first"));
        return;
    }
    // The bulk removal is armed again by the pairs this search finds.
    m_bulkRemovalArmed = false;
    // The counts of the last search would otherwise stand above a table this search empties.
    m_pairCountLabel->setText(QStringLiteral("Duplicate Files Found:"));
    m_location1CountLabel->setText(QStringLiteral("Total files in Location 1"));
    m_location2CountLabel->setText(QStringLiteral("Total files in Location 2 "));
    setActivity(Activity::Searching);
    // The table lets go of the last search's pairs, which the search replaces, rather than keep both lists.
    m_model->showNothing();
    const auto searched = qScopeGuard([this] {
        setActivity(Activity::Idle);
        // Disabling the search button moved the focus on to the next control, a criterion box that the next Space
        // would untick: it comes back to where the search started.
        m_searchButton->setFocus(Qt::OtherFocusReason);
        closeIfPending();
    });
    const SearchReport report =
        m_session.search(toPath(m_location1Edit->text()), toPath(m_location2Edit->text()), *this);
    rebuildResultsTable();
    m_pairCountLabel->setText(pairCountText(report));
    // A location that was not there or could not be read counted no file; the count alone would look like an
    // empty folder.
    if (m_session.filesInLocation1() == 0)
        appendLocationProblem(m_location1CountLabel, m_location1Edit->text());
    if (m_session.filesInLocation2() == 0 && !m_singleDirectory)
        appendLocationProblem(m_location2CountLabel, m_location2Edit->text());
    // The table and the labels show what the search found and counted until then; this says it stopped early.
    if (report.cancelled)
        m_phaseLabel->setText(QStringLiteral("Search cancelled: counts so far"));
}

void MainWindow::appendLocationProblem(QLabel* countLabel, const QString& location)
{
    FileSystem& fs = m_session.fileSystem();
    const PathString path = toPath(location);
    if (path.empty())
        return;
    PathString directory = path;
    if (directory.back() != kSeparator)
        directory.push_back(kSeparator);
    QString problem;
    std::vector<DirEntry> entries;
    if (!fs.isDirectory(directory))
        problem = fs.exists(path) ? QStringLiteral("is a file") : QStringLiteral("not found");
    else if (!fs.listDirectory(directory, entries))
        problem = QStringLiteral("no access");
    if (!problem.isEmpty())
        countLabel->setText(countLabel->text() + QStringLiteral(" (") + problem + QLatin1Char(')'));
}

void MainWindow::cancelSearch()
{
    m_session.cancel();
    m_cancelButton->setEnabled(false);
}

void MainWindow::location2Changed()
{
    m_singleDirectory = m_location2Edit->text().isEmpty();
    const bool single = m_singleDirectory;
    m_searchButton->setText(single ? QStringLiteral("&Single directory search") : QStringLiteral("&C h e c k"));
    m_searchButton->setAccessibleName(single ? QStringLiteral("Single directory search") : QStringLiteral("Check"));
    setBulkRemovalArmed(!single);
}

void MainWindow::browseInto(QLineEdit* box)
{
    const QString dir = dialogs().chooseDirectory(this, QStringLiteral("Source Directory"));
    if (!dir.isEmpty())
        box->setText(QDir::toNativeSeparators(dir));
}

void MainWindow::applySelectionRule()
{
    // A command's clicks wait: the rebuild at its end decides what the buttons may do.
    if (m_activity != Activity::Idle)
        return;
    updateRemovalButtons();
    const std::optional<RowSpan> span = selectedSpan();
    if (!span)
        return;
    // One row: the bulk removal; a range: the selected-rows removals.
    m_removeSelected1Button->setVisible(span->several());
    m_removeSelected2Button->setVisible(span->several());
    setBulkRemovalArmed(!span->several());
}

void MainWindow::rebuildResultsTable()
{
    m_phaseLabel->setText(QStringLiteral("Loading duplicates in the table ..."));
    // Within a command the command's own state holds; on its own (as a test calls it) the rebuild holds the
    // other commands off, and a close asked for meanwhile is carried out once it is done.
    const bool onItsOwn = m_activity == Activity::Idle;
    if (onItsOwn)
        setActivity(Activity::Rebuilding);
    const auto rebuilt = qScopeGuard([this, onItsOwn] {
        if (!onItsOwn)
            return;
        setActivity(Activity::Idle);
        closeIfPending();
    });

    m_model->showNothing();

    // Every pair in the list gets its row, also after a cancel: a removal must never reach a pair the table does
    // not show.
    const std::shared_ptr<const FileList> shared = m_session.sharedPairs();
    const FileList& pairs = *shared;
    ResultsModel::RowIndex rows;
    rows.reserve(pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (pairs[i].deleted)
            continue;
        const std::size_t row = rows.size();
        rows.push_back(static_cast<std::uint32_t>(i));
        if (row % kRowsPerService == 0) {
            m_progressCounter->setText(QString::number(row));
            QCoreApplication::processEvents();
        }
    }
    const std::size_t shown = rows.size();
    m_model->showRows(shared, std::move(rows), false);
    // Any pair arms the bulk removal, the ones dealt with too, but only in two-location mode.
    m_bulkRemovalArmed = (m_bulkRemovalArmed || !pairs.empty()) && !m_singleDirectory;
    updateRemovalButtons();
    if (!m_userColumnWidths)
        fitColumnsToWidth(frameGeometry().width());

    m_pairCountLabel->setText(QStringLiteral("Duplicate Files Found: ") + QString::number(shown));
    m_location1CountLabel->setText(
        QStringLiteral("Total files in directory shown below  : %1").arg(m_session.filesInLocation1()));
    m_location2CountLabel->setText(
        QStringLiteral("Total files in directory shown below : %1").arg(m_session.filesInLocation2()));
    m_phaseLabel->clear();
    m_progressCounter->clear();
    m_progressPending = false;
}

void MainWindow::serviceEvents()
{
    // A walk over a million files reaches this point tens of thousands of times; repainting the window each time
    // would cost more than the walk itself, while a click or a repaint every few milliseconds is all a user sees.
    if (m_serviceClock.isValid() && !m_serviceClock.hasExpired(kServiceIntervalMs))
        return;
    m_serviceClock.start();
    if (m_progressPending) {
        m_progressCounter->setText(QString::number(m_progress));
        m_progressPending = false;
    }
    QCoreApplication::processEvents();
}

void MainWindow::showProgress(const Progress& progress)
{
    if (progress.begins || progress.phase == Phase::ComparingContents)
        m_phaseLabel->setText(displayText(progressTitle(progress)));
    if (progress.begins)
        return;
    // Counted for every pair found: the label takes the count when events are next serviced, the only moment it
    // can be seen, rather than a hundred thousand texts nobody sees.
    m_progress = progress.count;
    m_progressPending = true;
}

SearchCriteria MainWindow::criteria() const
{
    return {m_sameDateBox->isChecked(), m_sameSizeBox->isChecked(), m_sameContentBox->isChecked()};
}

RemovalTarget MainWindow::removalTarget() const
{
    // The two options exclude each other; the Trash wins should both ever be on.
    if (m_trashBox->isChecked())
        return MoveToTrash{};
    if (m_safetyBox->isChecked())
        return MoveToSafetyDirectory{toPath(m_safetyDirectoryEdit->text())};
    return Delete{};
}

bool MainWindow::confirm(std::string_view question)
{
    return dialogs().confirm(this, displayText(question));
}

void MainWindow::inform(std::string_view message)
{
    dialogs().inform(this, displayText(message));
}

void MainWindow::reportKept(const std::vector<KeptFile>& kept)
{
    showKeptFiles(this, kept);
}

std::optional<MainWindow::RowSpan> MainWindow::selectedSpan() const
{
    // Read the ranges, not the selected rows: selecting a million rows must not build a million indexes.
    const QItemSelection selection = m_resultsTable->selectionModel()->selection();
    if (selection.isEmpty())
        return std::nullopt;
    int top = selection.first().top();
    int bottom = selection.first().bottom();
    for (const QItemSelectionRange& range : selection) {
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
    }
    return RowSpan{top, bottom};
}

std::vector<SelectedRow> MainWindow::selectedRows(Side side) const
{
    std::vector<SelectedRow> rows;
    const std::optional<RowSpan> span = selectedSpan();
    if (!span)
        return rows;
    rows.reserve(static_cast<std::size_t>(span->bottom - span->top + 1));
    // The pair's own bytes, not the cells' display text: a name that is not valid UTF-8 must still match.
    for (int row = span->top; row <= span->bottom; ++row) {
        const std::int64_t pair = m_model->pairAt(row);
        if (pair < 0) {
            rows.push_back({});
            continue;
        }
        const FileRecord& record = m_session.pairs()[static_cast<std::size_t>(pair)];
        rows.push_back({sideDirectory(record, side), record.name});
    }
    return rows;
}

void MainWindow::runRemoval(const std::function<RemovalReport()>& command)
{
    if (busy())
        return;
    setActivity(Activity::Removing);
    const auto removed = qScopeGuard([this] {
        setActivity(Activity::Idle);
        closeIfPending();
    });
    // Until the command says it was not confirmed: one that fails on its way was, since it fails only after the Yes.
    bool confirmed = true;
    // A confirmed removal leaves the bulk button disabled on every way out, so a further bulk run needs a fresh
    // search or a single-row click first.
    const auto disarm = qScopeGuard([this, &confirmed] {
        if (confirmed)
            m_bulkRemovalArmed = false;
    });
    const TablePlace place = tablePlace();
    const RemovalReport report = command();
    confirmed = report.ran;
    if (report.ran) {
        rebuildResultsTable();
        returnTo(place);
    }
}

void MainWindow::removeAllLocation2Copies()
{
    runRemoval([this] { return m_session.removeAllLocation2Copies(*this); });
}

void MainWindow::removeSelectedFromLocation1()
{
    runRemoval([this] { return m_session.removeSelectedRows(selectedRows(Side::Location1), Side::Location1, *this); });
}

void MainWindow::removeSelectedFromLocation2()
{
    runRemoval([this] { return m_session.removeSelectedRows(selectedRows(Side::Location2), Side::Location2, *this); });
}

void MainWindow::safetyOptionToggled()
{
    const bool ticked = m_safetyBox->isChecked();
    // A file goes to one place: the safety directory and the Trash exclude each other.
    if (ticked)
        m_trashBox->setChecked(false);
    m_safetyDirectoryEdit->setVisible(ticked);
    m_browseSafetyButton->setVisible(ticked);
    // Unticking keeps the text, so ticking again shows the last safety directory rather than the default.
    if (ticked)
        m_safetyDirectoryEdit->setText(
            displayText(safetyDirectoryOnTick(toPath(m_safetyDirectoryEdit->text()), m_session.fileSystem())));
}

void MainWindow::safetyDirectoryChanged()
{
    ensureSafetyDirectory(toPath(m_safetyDirectoryEdit->text()), m_session.fileSystem());
}

void MainWindow::trashOptionToggled()
{
    if (m_trashBox->isChecked())
        m_safetyBox->setChecked(false);
}

void MainWindow::openPairDetails()
{
    if (busy() || m_model->shownPairs() == 0)
        return;
    const int row = std::max(0, m_resultsTable->currentIndex().row());
    m_detailedPair = m_session.pairIndexOfRow(static_cast<std::size_t>(row));
    const TablePlace place = tablePlace();
    setActivity(Activity::ViewingPair);
    const auto viewed = qScopeGuard([this] {
        setActivity(Activity::Idle);
        closeIfPending();
    });
    {
        PairDetailsDialog dialog(m_session, m_detailedPair, *this, this);
        dialog.exec();
    }
    const std::size_t pair = m_detailedPair;
    if (pair < m_session.pairs().size() && m_session.pairs()[pair].deleted) {
        rebuildResultsTable();
        returnTo(place);
    }
}

MainWindow::TablePlace MainWindow::tablePlace() const
{
    return {m_model->pairAt(m_resultsTable->rowAt(0)), m_model->pairAt(m_resultsTable->currentIndex().row())};
}

void MainWindow::returnTo(const TablePlace& place)
{
    // Rows keep the pair list's order, so the nearest remaining row is the first one from the same pair on.
    if (place.current >= 0) {
        const int row = m_model->rowFromPair(static_cast<std::uint32_t>(place.current));
        m_resultsTable->selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::NoUpdate);
    }
    if (place.top >= 0) {
        // The rows are laid out only when the view next paints: the scroll range has to be known first.
        m_resultsTable->doItemsLayout();
        const int row = m_model->rowFromPair(static_cast<std::uint32_t>(place.top));
        m_resultsTable->scrollTo(m_model->index(row, 0), QAbstractItemView::PositionAtTop);
    }
}

} // namespace twinspotter
