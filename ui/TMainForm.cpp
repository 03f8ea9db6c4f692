// The main window: its controls, the search command's binding, the results table and the start-up steps.
#include "ui/TMainForm.h"

#include "core/Version.h"
#include "online/OnlineSettings.h"
#include "ui/AppMessage.h"
#include "ui/Application.h"
#include "ui/ColumnWidths.h"
#include "ui/Dialogs.h"
#include "ui/UpdatePrompt.h"
#include "ui/ResultsModel.h"
#include "ui/TDetailedViewForm.h"
#include "ui/TSplashScrForm.h"

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
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
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

// btnDelete's place in the bottom panel at the design width; it keeps its share of the width when resized.
constexpr int kDeleteLeft = 784;
constexpr int kExitWidth = 84;
constexpr int kExitRightGap = 8;
// Since btnDelete keeps its share of the width while " E x i t" keeps its distance from the right edge, the two
// meet as soon as the window is narrower than its design width: that is the narrowest it may be. The table keeps
// room for its header and a few rows.
constexpr int kMinimumTableHeight = 120;
// The rebuild lets the window breathe once per this many rows.
constexpr std::size_t kRowsPerService = 300;

QString fromBytes(std::string_view text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

PathString toPath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

template <typename T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TMainForm::TMainForm(FileSystem& fs, QWidget* parent) : QMainWindow(parent), m_session(fs)
{
    setObjectName(QStringLiteral("MainForm"));

    m_client = new QWidget(this);
    m_client->setMinimumSize(kClientWidth, kTopPanelHeight + kMinimumTableHeight + kBottomPanelHeight);
    m_client->installEventFilter(this);
    setCentralWidget(m_client);

    buildTopPanel();

    strGridD = named(new QTableView(m_client), "strGridD");
    m_model = new ResultsModel(m_session.pairs(), this);
    strGridD->setModel(m_model);
    strGridD->setSelectionBehavior(QAbstractItemView::SelectRows);
    strGridD->setSelectionMode(QAbstractItemView::ContiguousSelection);
    strGridD->setEditTriggers(QAbstractItemView::NoEditTriggers);
    strGridD->setWordWrap(false);
    strGridD->setTextElideMode(Qt::ElideMiddle);
    strGridD->verticalHeader()->hide();
    // Fixed row heights keep a million rows cheap: the view never measures contents.
    strGridD->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    strGridD->verticalHeader()->setDefaultSectionSize(strGridD->fontMetrics().height() + 6);
    strGridD->horizontalHeader()->setHighlightSections(false);
    strGridD->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int initialWidths[] = {30, 100, 439, 429};
    for (int column = 0; column < 4; ++column)
        strGridD->setColumnWidth(column, initialWidths[column]);
    connect(strGridD, &QTableView::clicked, this, &TMainForm::strGridDClick);
    connect(strGridD->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::strGridDSelectCell);
    connect(strGridD, &QTableView::doubleClicked, this, &TMainForm::strGridDDblClick);

    buildBottomPanel();

    File1 = named(menuBar()->addMenu(QStringLiteral("File")), "File1");
    Exit1 = named(File1->addAction(QStringLiteral("Exit")), "Exit1");
    connect(Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    About2 = named(menuBar()->addMenu(QStringLiteral("About")), "About2");
    About1 = named(About2->addAction(QStringLiteral("About Twinspotter")), "About1");
    Contactus1 = named(About2->addAction(QStringLiteral("Contact Us")), "Contactus1");
    About1->setEnabled(false);
    Contactus1->setEnabled(false);
    connect(About1, &QAction::triggered, this, &TMainForm::About1Click);
    connect(Contactus1, &QAction::triggered, this, &TMainForm::Contactus1Click);

    // FormCreate: clearing location 2 is a change of it, so the window opens in single-directory mode even
    // though an empty field emits no change of its own.
    edtStartDir1->clear();
    edtStartDir2->clear();
    edtStartDir2Change();

    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    placeRegions();

    // Files dropped from the desktop land on the window; the hook puts them into the location under the cursor.
    setAcceptDrops(true);
    new AppMessage(this);
}

TMainForm::~TMainForm()
{
    // FormDestroy
    m_model->showNothing();
    m_session.pairs().clear();
}

void TMainForm::buildTopPanel()
{
    m_topPanel = named(new QWidget(m_client), "TopPanel");

    auto* location1 = named(new QLabel(QStringLiteral("Location 1"), m_topPanel), "LabelLocation1");
    location1->setGeometry(8, 2, 200, 18);
    edtStartDir1 = named(new QLineEdit(m_topPanel), "edtStartDir1");
    edtStartDir1->setGeometry(8, 20, 358, 26);
    TntBitBtn1 = named(new QPushButton(QStringLiteral("..."), m_topPanel), "TntBitBtn1");
    TntBitBtn1->setGeometry(370, 20, 30, 26);

    auto* location2 = named(new QLabel(QStringLiteral("Location 2"), m_topPanel), "LabelLocation2");
    location2->setGeometry(8, 52, 200, 18);
    edtStartDir2 = named(new QLineEdit(m_topPanel), "edtStartDir2");
    edtStartDir2->setGeometry(8, 70, 358, 26);
    TntBitBtn2 = named(new QPushButton(QStringLiteral("..."), m_topPanel), "TntBitBtn2");
    TntBitBtn2->setGeometry(370, 70, 30, 26);

    Labelcount1 = named(new QLabel(QStringLiteral("Duplicate Files Found:"), m_topPanel), "Labelcount1");
    // Wide enough for the longest count texts with ten-digit numbers.
    Labelcount1->setGeometry(410, 2, 310, 18);
    lbTotalFiles1 = named(new QLabel(QStringLiteral("Total files in Location 1"), m_topPanel), "lbTotalFiles1");
    lbTotalFiles1->setGeometry(410, 24, 310, 18);
    ProgressLabel = named(new QLabel(m_topPanel), "ProgressLabel");
    ProgressLabel->setGeometry(410, 50, 236, 18);
    setTextColor(ProgressLabel, Qt::blue);
    ProgressCounter = named(new QLabel(m_topPanel), "ProgressCounter");
    ProgressCounter->setGeometry(650, 50, 70, 18);
    setTextColor(ProgressCounter, Qt::red);
    QFont bold = ProgressCounter->font();
    bold.setBold(true);
    ProgressCounter->setFont(bold);
    lbTotalfiles2 = named(new QLabel(QStringLiteral("Total files in Location 2 "), m_topPanel), "lbTotalfiles2");
    lbTotalfiles2->setGeometry(410, 74, 310, 18);

    Buttonfind = named(new QPushButton(QStringLiteral("Single directory search"), m_topPanel), "Buttonfind");
    Buttonfind->setGeometry(728, 12, 170, 36);
    btnCancel = named(new QPushButton(QStringLiteral("Cancel"), m_topPanel), "btnCancel");
    btnCancel->setGeometry(728, 60, 170, 30);
    btnCancel->setEnabled(false);

    chkName = named(new QCheckBox(QStringLiteral("Same name"), m_topPanel), "chkName");
    // The criteria column has rows of 24 pixels and room for a fourth box below these three.
    chkName->setGeometry(906, 4, 112, 22);
    chkName->setChecked(true);
    chkName->setEnabled(false);
    chkDate = named(new QCheckBox(QStringLiteral("Same date"), m_topPanel), "chkDate");
    chkDate->setGeometry(906, 28, 112, 22);
    chkDate->setChecked(true);
    chkSize = named(new QCheckBox(QStringLiteral("Same size"), m_topPanel), "chkSize");
    chkSize->setGeometry(906, 52, 112, 22);
    chkSize->setChecked(true);
    // Unticked at every start: reading every candidate file is a choice for this search, not a habit to keep.
    chkContent = named(new QCheckBox(QStringLiteral("Same content"), m_topPanel), "chkContent");
    chkContent->setGeometry(906, 76, 112, 22);

    connect(Buttonfind, &QPushButton::clicked, this, &TMainForm::ButtonfindClick);
    connect(btnCancel, &QPushButton::clicked, this, &TMainForm::btnCancelClick);
    connect(edtStartDir2, &QLineEdit::textChanged, this, &TMainForm::edtStartDir2Change);
    connect(edtStartDir1, &QLineEdit::returnPressed, this, &TMainForm::ButtonfindClick);
    connect(edtStartDir2, &QLineEdit::returnPressed, this, &TMainForm::ButtonfindClick);
    connect(TntBitBtn1, &QPushButton::clicked, this, &TMainForm::TntBitBtn1Click);
    connect(TntBitBtn2, &QPushButton::clicked, this, &TMainForm::TntBitBtn2Click);
}

void TMainForm::buildBottomPanel()
{
    m_bottomPanel = named(new QWidget(m_client), "BottomPanel");

    chksafety = named(new QCheckBox(QStringLiteral("move files to a specific directory instead of deleting for safety"),
                                    m_bottomPanel),
                      "chksafety");
    // The first row holds the safety option and, right of it up to lbUseShift, room for one more option.
    chksafety->setGeometry(8, 6, 404, 22);
    edtSavedir = named(new QLineEdit(m_bottomPanel), "edtSavedir");
    edtSavedir->setGeometry(8, 34, 320, 26);
    edtSavedir->setReadOnly(true);
    edtSavedir->hide();
    btnBrowsSaveD = named(new QPushButton(QStringLiteral("..."), m_bottomPanel), "btnBrowsSaveD");
    btnBrowsSaveD->setGeometry(332, 34, 28, 26);
    // Beside the safety option, the other way of keeping what goes; ticking one unticks the other.
    chkTrash =
        named(new QCheckBox(QStringLiteral("move files to the Trash instead of deleting"), m_bottomPanel), "chkTrash");
    chkTrash->setGeometry(420, 6, 300, 22);
    btnBrowsSaveD->hide();

    lbUseShift = named(new QLabel(QStringLiteral("Use shift and arrows to select files for deletion"), m_bottomPanel),
                       "lbUseShift");
    lbUseShift->setGeometry(728, 8, 290, 18);
    setTextColor(lbUseShift, Qt::blue);
    btnDelDir1 =
        named(new QPushButton(QStringLiteral("delete selected from directory 1"), m_bottomPanel), "btnDelDir1");
    btnDelDir1->setGeometry(366, 32, 204, 30);
    btnDelDir1->hide();
    btnDelDir2 =
        named(new QPushButton(QStringLiteral("delete selected from directory 2"), m_bottomPanel), "btnDelDir2");
    btnDelDir2->setGeometry(574, 32, 204, 30);
    btnDelDir2->hide();

    btnDelete = named(new QPushButton(QStringLiteral("Delete duplicate files"), m_bottomPanel), "btnDelete");
    btnDelete->setToolTip(QStringLiteral("Delete all duplicate files, that are exact match from second directory."));
    btnDelete->setGeometry(kDeleteLeft, 32, 142, 30);
    btnDelete->setEnabled(false);
    TntBitBtn3 = named(new QPushButton(QStringLiteral(" E x i t"), m_bottomPanel), "TntBitBtn3");
    TntBitBtn3->setGeometry(kClientWidth - kExitRightGap - kExitWidth, 32, kExitWidth, 30);
    connect(TntBitBtn3, &QPushButton::clicked, this, &TMainForm::TntBitBtn3Click);

    connect(btnDelete, &QPushButton::clicked, this, &TMainForm::btnDeleteClick);
    connect(btnDelDir1, &QPushButton::clicked, this, &TMainForm::btnDelDir1Click);
    connect(btnDelDir2, &QPushButton::clicked, this, &TMainForm::btnDelDir2Click);
    connect(chksafety, &QCheckBox::toggled, this, &TMainForm::chksafetyClick);
    connect(edtSavedir, &QLineEdit::textChanged, this, &TMainForm::edtSavedirChange);
    connect(btnBrowsSaveD, &QPushButton::clicked, this, &TMainForm::btnBrowsSaveDClick);
    connect(chkTrash, &QCheckBox::toggled, this, &TMainForm::chkTrashClick);
    // btnDelete is the window's cancel button: Escape without modifiers presses it, and a disabled button
    // ignores the press.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("btnDeleteShortcut"));
    connect(escape, &QShortcut::activated, btnDelete, &QPushButton::click);
}

void TMainForm::placeRegions()
{
    const int width = m_client->width();
    const int height = m_client->height();
    m_topPanel->setGeometry(0, 0, width, kTopPanelHeight);
    strGridD->setGeometry(0, kTopPanelHeight, width, std::max(0, height - kTopPanelHeight - kBottomPanelHeight));
    m_bottomPanel->setGeometry(0, std::max(kTopPanelHeight, height - kBottomPanelHeight), width, kBottomPanelHeight);

    btnDelete->move(static_cast<int>(std::lround(double(kDeleteLeft) * width / kClientWidth)), btnDelete->y());
    TntBitBtn3->move(width - kExitRightGap - TntBitBtn3->width(), TntBitBtn3->y());
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        placeRegions();
    return QMainWindow::eventFilter(watched, event);
}

int TMainForm::numberColumnWidth() const
{
    const QFontMetrics metrics(strGridD->font());
    int digitWidth = 0;
    for (char digit = '0'; digit <= '9'; ++digit)
        digitWidth = std::max(digitWidth, metrics.horizontalAdvance(QLatin1Char(digit)));
    const auto digits = static_cast<int>(QString::number(std::max<std::size_t>(m_model->shownPairs(), 1)).size());
    // A cell's text sits inside the focus frame's margin on either side, and the grid line takes one pixel more.
    const int margin = strGridD->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, strGridD) + 1;
    return digits * digitWidth + 2 * margin + 1;
}

void TMainForm::FormCanResize(int outerWidth)
{
    const std::array<int, 4> widths = columnWidthsForWindowWidth(outerWidth, numberColumnWidth());
    for (int column = 0; column < 4; ++column)
        strGridD->setColumnWidth(column, widths[static_cast<std::size_t>(column)]);
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormCanResize(frameGeometry().width());
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // The frame is known only now; the columns follow the window's width from the start.
    FormCanResize(frameGeometry().width());
}

void TMainForm::setVisible(bool visible)
{
    const bool firstShow = visible && !m_started;
    const bool prepared = firstShow && runStartUpSteps();
    QMainWindow::setVisible(visible);
    // The update check blocks the thread: the window is on screen and painted first, so that a slow server reads
    // as waiting, not as a program that never opened.
    if (prepared) {
        paintNow(this);
        runUpdatePrompt();
    }
}

void TMainForm::FormShow()
{
    if (runStartUpSteps())
        runUpdatePrompt();
}

bool TMainForm::runStartUpSteps()
{
    m_started = true;
    // A failing step skips the ones after it; the window still opens and works.
    try {
        if (m_splash)
            m_splash->exec();

        m_reg = std::make_unique<QSettings>(QStringLiteral("QuillNet"), QStringLiteral("Twinspotter"));
        // QSettings writes nothing while it holds no values, so the key's file is created by hand.
        const QFileInfo key(m_reg->fileName());
        if (!key.exists() && QDir().mkpath(key.absolutePath())) {
            QFile file(key.absoluteFilePath());
            if (file.open(QIODevice::WriteOnly))
                file.close();
        }
        m_reg->sync();

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

void TMainForm::runUpdatePrompt()
{
    try {
        twinspotter::runUpdatePrompt(this, [this](const QString& text) {
            ProgressLabel->setText(text);
            paintNow(ProgressLabel);
        });
    } catch (...) {
        reportCurrentError();
    }
}

void TMainForm::setLocations(const QString& location1, const QString& location2)
{
    edtStartDir1->setText(location1);
    edtStartDir2->setText(location2);
}

void TMainForm::setAboutWindows(QDialog* aboutForm, QDialog* contactMessage)
{
    m_aboutForm = aboutForm;
    m_contactMessage = contactMessage;
    About1->setEnabled(m_aboutForm != nullptr);
    Contactus1->setEnabled(m_contactMessage != nullptr);
}

void TMainForm::About1Click()
{
    if (m_aboutForm)
        m_aboutForm->exec();
}

void TMainForm::Contactus1Click()
{
    if (m_contactMessage)
        m_contactMessage->exec();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // The search's own frames are still on the stack: ask it to stop and close once it has returned. A removal
    // cannot be stopped half-way through its list; the window closes when it has ended.
    if (m_searchRunning || m_rebuilding || m_session.busy()) {
        m_closePending = true;
        if (!m_session.removing())
            m_session.cancel();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TMainForm::closeIfPending()
{
    if (m_closePending && !m_searchRunning && !m_rebuilding && !m_session.busy()) {
        m_closePending = false;
        close();
    }
}

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::TntBitBtn3Click()
{
    close();
}

void TMainForm::ButtonfindClick()
{
    if (m_session.busy() || m_searchRunning || m_rebuilding)
        return;
    if (edtStartDir1->text().isEmpty()) {
        dialogs().message(this, QStringLiteral("Please choose Location 1 first"));
        return;
    }
    struct CloseAfterSearch
    {
        TMainForm& form;
        ~CloseAfterSearch() { form.closeIfPending(); }
    } closeAfter{*this};
    m_session.search(toPath(edtStartDir1->text()), toPath(edtStartDir2->text()), *this);
    // The table and the labels show what the search found and counted until then; this says it stopped early.
    if (m_session.searchCancelled())
        ProgressLabel->setText(QStringLiteral("Search cancelled: counts so far"));
}

void TMainForm::btnCancelClick()
{
    // The search button comes back only when the search has returned, so no search starts inside another.
    m_session.cancel();
    btnCancel->setEnabled(false);
}

void TMainForm::edtStartDir2Change()
{
    m_session.setLocation2(toPath(edtStartDir2->text()));
    if (m_session.singleDirectory()) {
        Buttonfind->setText(QStringLiteral("Single directory search"));
        setDeleteEnabled(false);
    } else {
        Buttonfind->setText(QStringLiteral("C h e c k"));
        setDeleteEnabled(true);
    }
}

void TMainForm::TntBitBtn1Click()
{
    const QString dir = dialogs().chooseDirectory(this, QStringLiteral("Source Directory"));
    if (!dir.isEmpty())
        edtStartDir1->setText(QDir::toNativeSeparators(dir));
}

void TMainForm::TntBitBtn2Click()
{
    const QString dir = dialogs().chooseDirectory(this, QStringLiteral("Source Directory"));
    if (!dir.isEmpty())
        edtStartDir2->setText(QDir::toNativeSeparators(dir));
}

void TMainForm::strGridDClick()
{
    applySelectionRule();
}

void TMainForm::strGridDSelectCell()
{
    applySelectionRule();
}

void TMainForm::applySelectionRule()
{
    if (m_rebuilding)
        return;
    updateSelectedRowButtons();
    const std::optional<std::pair<int, int>> range = selectedRange();
    if (!range)
        return;
    if (range->second <= range->first) {
        setDeleteEnabled(true);
        btnDelDir1->hide();
        btnDelDir2->hide();
    } else {
        btnDelDir1->show();
        btnDelDir2->show();
        setDeleteEnabled(false);
    }
}

void TMainForm::setDeleteEnabled(bool enabled)
{
    m_deleteWanted = enabled;
    btnDelete->setEnabled(enabled && !m_searchRunning && !m_removalLocked);
}

void TMainForm::setSearchLocked(bool locked)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{edtStartDir1, edtStartDir2, TntBitBtn1, TntBitBtn2})
        widget->setEnabled(!locked);
    btnDelete->setEnabled(m_deleteWanted && !locked);
    updateSelectedRowButtons();
}

void TMainForm::RebuildResultsTable()
{
    ProgressLabel->setText(QStringLiteral("Loading duplicates in the table ..."));
    m_rebuilding = true;
    struct EndRebuild
    {
        TMainForm& form;
        // A close asked for while a rebuild outside any command ran (after the detailed view) waits for it; a
        // search or removal around the rebuild closes the window itself once it has returned.
        ~EndRebuild()
        {
            form.m_rebuilding = false;
            form.closeIfPending();
        }
    } endRebuild{*this};

    m_model->showNothing();

    // Every pair in the list gets its row, also after a cancel: a removal must never reach a pair the table does
    // not show.
    const FileList& pairs = m_session.pairs();
    ResultsModel::RowIndex rows;
    rows.reserve(pairs.size());
    bool deleteSet = false;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        // Enabled for every pair, the marked ones too; after a service point a handler may have changed it.
        if (!deleteSet) {
            setDeleteEnabled(true);
            deleteSet = true;
        }
        if (pairs[i].deleted)
            continue;
        const std::size_t row = rows.size();
        rows.push_back(static_cast<std::uint32_t>(i));
        if (row % kRowsPerService == 0) {
            ProgressCounter->setText(QString::number(row));
            QCoreApplication::processEvents();
            deleteSet = false;
        }
    }
    const std::size_t shown = rows.size();
    m_model->showRows(std::move(rows), false);
    updateSelectedRowButtons();
    FormCanResize(frameGeometry().width());

    Labelcount1->setText(QStringLiteral("Duplicate Files Found: ") + QString::number(shown));
    lbTotalFiles1->setText(QStringLiteral("Total files in directory shown below  : %1").arg(m_session.filesInLocation1()));
    lbTotalfiles2->setText(QStringLiteral("Total files in directory shown below : %1").arg(m_session.filesInLocation2()));
    if (m_session.singleDirectory())
        setDeleteEnabled(false);
    ProgressLabel->clear();
    ProgressCounter->clear();
}

void TMainForm::serviceEvents()
{
    // A walk over a million files reaches this point tens of thousands of times; repainting the window each time
    // would cost more than the walk itself, while a click or a repaint every few milliseconds is all a user sees.
    if (m_serviceClock.isValid() && !m_serviceClock.hasExpired(kServiceIntervalMs))
        return;
    m_serviceClock.start();
    m_model->dropStaleRows();
    QCoreApplication::processEvents();
}

void TMainForm::showProgress(std::string_view text)
{
    ProgressCounter->setText(fromBytes(text));
}

void TMainForm::showPhase(std::string_view text)
{
    m_model->dropStaleRows();
    ProgressLabel->setText(fromBytes(text));
}

bool TMainForm::sameDate() const
{
    return chkDate->isChecked();
}

bool TMainForm::sameSize() const
{
    return chkSize->isChecked();
}

bool TMainForm::sameContent() const
{
    return chkContent->isChecked();
}

bool TMainForm::confirm(std::string_view question)
{
    return dialogs().confirm(this, fromBytes(question));
}

void TMainForm::inform(std::string_view message)
{
    dialogs().inform(this, fromBytes(message));
}

void TMainForm::reportKept(const std::vector<KeptFile>& kept)
{
    showKeptFiles(this, kept);
}

void TMainForm::searchStarted()
{
    m_searchRunning = true;
    m_serviceClock.invalidate();
    Buttonfind->setEnabled(false);
    m_deleteWanted = false;
    setSearchLocked(true);
    btnCancel->setEnabled(true);
}

void TMainForm::searchEnded()
{
    m_searchRunning = false;
    setSearchLocked(false);
    Buttonfind->setEnabled(true);
    btnCancel->setEnabled(false);
    // Disabling the search button moved the focus on to the next control, a criterion box that the next Space
    // would untick: it comes back to where the search started.
    Buttonfind->setFocus(Qt::OtherFocusReason);
}

void TMainForm::rebuildResultsTable()
{
    RebuildResultsTable();
}

void TMainForm::showPairCount(std::string_view text)
{
    Labelcount1->setText(fromBytes(text));
}

bool TMainForm::safetyTicked() const
{
    return chksafety->isChecked();
}

PathString TMainForm::safetyDirectory() const
{
    return toPath(edtSavedir->text());
}

bool TMainForm::trashTicked() const
{
    return chkTrash->isChecked();
}

void TMainForm::disableBulkRemoval()
{
    setDeleteEnabled(false);
}

void TMainForm::setRemovalLocked(bool locked)
{
    m_removalLocked = locked;
    Buttonfind->setEnabled(!locked);
    setSearchLocked(locked);
    if (!locked)
        closeIfPending();
}

std::optional<std::pair<int, int>> TMainForm::selectedRange() const
{
    // Read the ranges, not the selected rows: selecting a million rows must not build a million indexes.
    const QItemSelection selection = strGridD->selectionModel()->selection();
    if (selection.isEmpty())
        return std::nullopt;
    int top = selection.first().top();
    int bottom = selection.first().bottom();
    for (const QItemSelectionRange& range : selection) {
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
    }
    return std::pair{top, bottom};
}

void TMainForm::updateSelectedRowButtons()
{
    // A rebuild clears the selection without a word to the selection rule: the buttons must not stay armed for
    // rows that are no longer selected.
    const std::optional<std::pair<int, int>> range = selectedRange();
    const bool several = range && range->second > range->first;
    const bool locked = m_searchRunning || m_removalLocked;
    btnDelDir1->setEnabled(several && !locked);
    btnDelDir2->setEnabled(several && !locked);
}

std::vector<SelectedRow> TMainForm::selectedRows(Side side) const
{
    std::vector<SelectedRow> rows;
    const std::optional<std::pair<int, int>> range = selectedRange();
    if (!range)
        return rows;
    const auto [top, bottom] = *range;
    rows.reserve(static_cast<std::size_t>(bottom - top + 1));
    // The pair's own bytes, not the cells' display text: a name that is not valid UTF-8 must still match.
    for (int row = top; row <= bottom; ++row) {
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

void TMainForm::runRemoval(const std::function<void()>& command)
{
    if (m_session.busy() || m_rebuilding)
        return;
    setRemovalLocked(true);
    m_serviceClock.invalidate();
    struct Unlock
    {
        TMainForm& form;
        ~Unlock() { form.setRemovalLocked(false); }
    } unlock{*this};
    command();
}

void TMainForm::btnDeleteClick()
{
    runRemoval([this] { m_session.removeAllLocation2Copies(*this); });
}

void TMainForm::btnDelDir1Click()
{
    runRemoval([this] { m_session.removeSelectedRows(selectedRows(Side::Location1), Side::Location1, *this); });
}

void TMainForm::btnDelDir2Click()
{
    runRemoval([this] { m_session.removeSelectedRows(selectedRows(Side::Location2), Side::Location2, *this); });
}

void TMainForm::chksafetyClick()
{
    const bool ticked = chksafety->isChecked();
    // A file goes to one place: the safety directory and the Trash exclude each other.
    if (ticked)
        chkTrash->setChecked(false);
    edtSavedir->setVisible(ticked);
    btnBrowsSaveD->setVisible(ticked);
    // Unticking keeps the text, so ticking again shows the last safety directory rather than the default.
    if (ticked)
        edtSavedir->setText(fromBytes(safetyDirectoryOnTick(toPath(edtSavedir->text()), m_session.fileSystem())));
}

void TMainForm::edtSavedirChange()
{
    twinspotter::ensureSafetyDirectory(toPath(edtSavedir->text()), m_session.fileSystem());
}

void TMainForm::chkTrashClick()
{
    if (chkTrash->isChecked())
        chksafety->setChecked(false);
}

void TMainForm::btnBrowsSaveDClick()
{
    const QString dir = dialogs().chooseDirectory(this, QStringLiteral("Source Directory"));
    if (!dir.isEmpty())
        edtSavedir->setText(QDir::toNativeSeparators(dir));
}

void TMainForm::strGridDDblClick()
{
    if (m_session.busy() || m_rebuilding || m_model->shownPairs() == 0)
        return;
    const int row = std::max(0, strGridD->currentIndex().row());
    m_session.setDetailedPair(m_session.pairIndexOfRow(static_cast<std::size_t>(row)));
    {
        TDetailedViewForm form(m_session, *this, this);
        form.exec();
    }
    const std::size_t item = m_session.detailedPair();
    if (item < m_session.pairs().size() && m_session.pairs()[item].deleted)
        RebuildResultsTable();
}

} // namespace twinspotter
