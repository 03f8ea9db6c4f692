// The main window driven through its real widgets: start-up, mode switch, searches, cancel, the table and errors.
#include "ui/MainWindow.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/MainWindowControls.h"
#include "ui/Application.h"
#include "ui/ColumnWidths.h"
#include "ui/Dialogs.h"
#include "ui/ResultsModel.h"
#include "ui/SplashScreen.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace twinspotter;
using twinspotter::test::caption;
using twinspotter::test::child;
using twinspotter::test::FakeDialogs;
using twinspotter::test::MainWindowControls;
using twinspotter::test::ScopedEnvironment;
using twinspotter::test::SeamFileSystem;
using twinspotter::test::TempTree;
using twinspotter::test::textWidthsAreReal;

namespace {

QString cell(const MainWindow& window, int row, ResultsColumn column)
{
    const QAbstractItemModel* model = MainWindowControls(window).resultsTable->model();
    return model->data(model->index(row, static_cast<int>(column))).toString();
}

QString dirText(const std::string& path)
{
    return QString::fromStdString(path) + QLatin1Char(kSeparator);
}

// Appends a pair whose name is \p name to the window's pair list.
void addPair(MainWindow& window, const std::string& name, bool deleted = false)
{
    FileList& pairs = window.session().pairs();
    FileRecord pair;
    pair.directory1 = pairs.addDirectory("/one/");
    pair.directory2 = pairs.addDirectory("/two/");
    pair.name = name;
    pair.deleted = deleted;
    pairs.append(std::move(pair));
}

// The settings key as another program finds it: in the registry on Windows, as QSettings' file elsewhere.
bool settingsKeyExists()
{
#ifdef Q_OS_WIN
    return QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\QuillNet"), QSettings::NativeFormat)
        .childGroups()
        .contains(QStringLiteral("Twinspotter"));
#else
    return QFile::exists(QSettings(QStringLiteral("QuillNet"), QStringLiteral("Twinspotter")).fileName());
#endif
}

// Runs \p check on the folder picker as soon as it is up, then closes it unless the check did; any other modal
// window is closed at once, so that a test can never wait for ever.
void whenPickerOpens(QObject* context, std::function<void(FolderPicker&)> check)
{
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, check] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        if (auto* picker = qobject_cast<FolderPicker*>(dialog))
            check(*picker);
        if (dialog->isVisible())
            dialog->reject();
    });
    poll->start(5);
}

// Throws from its event handler, as a failing command would.
class ThrowingObject : public QObject
{
public:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("the disk caught fire");
        return QObject::event(event);
    }
};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    FakeDialogs m_dialogs;

    std::unique_ptr<MainWindow> openWindow(FileSystem& fs = realFileSystem())
    {
        auto form = std::make_unique<MainWindow>(fs);
        new QAbstractItemModelTester(MainWindowControls(*form).resultsTable->model(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest, form.get());
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return nullptr;
        return form;
    }

private slots:
    void init()
    {
        m_dialogs = FakeDialogs();
        setDialogs(&m_dialogs);
    }
    void cleanup() { setDialogs(nullptr); }

    void startUpShowsSplashThenOpensInSingleDirectoryMode()
    {
        QFile stale(QStringLiteral("TwinspotterUpdate.exe"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QTemporaryDir elsewhere;
        const QString notInWorkingDir = elsewhere.filePath(QStringLiteral("TwinspotterUpdate.exe"));
        QFile kept(notInWorkingDir);
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.close();

        QElapsedTimer clock;
        clock.start();
        MainWindow form;
        const MainWindowControls ui(form);
        SplashScreen splash;
        form.setSplash(&splash);
        QVERIFY(child<QTimer>(splash, "Timer1")->isActive());
        bool splashWasUp = false;
        QTimer::singleShot(100, &splash, [&] { splashWasUp = splash.isVisible(); });
        form.show(); // the splash runs modally inside and closes on its own tick
        QVERIFY(splashWasUp);
        QVERIFY(!splash.isVisible());
        QVERIFY(!child<QTimer>(splash, "Timer1")->isActive());
        QVERIFY2(clock.elapsed() >= 900 && clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QCOMPARE(form.windowTitle(), QStringLiteral("Duplicate file finder  v. 1.0.7"));
        QCOMPARE(form.caption(), form.windowTitle());
        QCOMPARE(form.appReleaseDate(), QStringLiteral("09/02/2010"));
        QVERIFY(!QFile::exists(QStringLiteral("TwinspotterUpdate.exe")));
        QVERIFY(QFile::exists(notInWorkingDir));
        QVERIFY(form.settingsKey() != nullptr);
        QVERIFY2(settingsKeyExists(), qPrintable(form.settingsKey()->location()));
        QVERIFY(QSettings(QStringLiteral("QuillNet"), QStringLiteral("Twinspotter")).allKeys().isEmpty());

        const QAbstractItemModel* model = ui.resultsTable->model();
        QStringList header;
        for (int c = 0; c < model->columnCount(); ++c)
            header << model->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(header, QStringList({" Nr", " File name", " Location 1", " Location 2"}));
        QVERIFY(ui.resultsTable->verticalHeader()->isHidden());
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(cell(form, 0, ResultsColumn::FileName), QString());

        QVERIFY(ui.location1Edit->text().isEmpty());
        QVERIFY(ui.location2Edit->text().isEmpty());
        QVERIFY(form.singleDirectory());
        QCOMPARE(caption(ui.searchButton->text()), QStringLiteral("Single directory search"));
        QVERIFY(ui.searchButton->isEnabled());
        QVERIFY(!ui.cancelButton->isEnabled());
        QVERIFY(!ui.removeAllButton->isEnabled());
        QCOMPARE(caption(ui.removeAllButton->text()), QStringLiteral("Delete duplicate files"));
        QCOMPARE(ui.removeAllButton->toolTip(),
                 QStringLiteral("Delete all duplicate files, that are exact match from second directory."));
        QVERIFY(ui.removeSelected1Button->isHidden() && ui.removeSelected2Button->isHidden());
        QCOMPARE(caption(ui.removeSelected1Button->text()), QStringLiteral("delete selected from directory 1"));
        QCOMPARE(caption(ui.removeSelected2Button->text()), QStringLiteral("delete selected from directory 2"));
        QVERIFY(ui.sameNameBox->isChecked() && !ui.sameNameBox->isEnabled());
        QVERIFY(ui.sameDateBox->isChecked() && ui.sameDateBox->isEnabled());
        QVERIFY(ui.sameSizeBox->isChecked() && ui.sameSizeBox->isEnabled());
        QVERIFY(!ui.safetyBox->isChecked());
        QCOMPARE(caption(ui.safetyBox->text()),
                 QStringLiteral("move files to a specific directory instead of deleting for safety"));
        QVERIFY(ui.safetyDirectoryEdit->isHidden() && ui.safetyDirectoryEdit->isReadOnly());
        QVERIFY(ui.browseSafetyButton->isHidden());
        QCOMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in Location 1"));
        QCOMPARE(ui.location2CountLabel->text(), QStringLiteral("Total files in Location 2 "));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Duplicate Files Found:"));
        QCOMPARE(ui.selectionHint->text(), QStringLiteral("Use shift and arrows to select files for deletion"));
        QCOMPARE(caption(ui.exitButton->text()), QStringLiteral(" E x i t"));
        QCOMPARE(ui.browseLocation1Button->text(), QStringLiteral("..."));
        QVERIFY(ui.phaseLabel->text().isEmpty() && ui.progressCounter->text().isEmpty());

        for (const char* name :
             {"edtStartDir1", "TntBitBtn1",    "edtStartDir2",    "TntBitBtn2", "lbTotalFiles1", "lbTotalfiles2",
              "Labelcount1",  "ProgressLabel", "ProgressCounter", "Buttonfind", "chkName",       "chkDate",
              "chkSize",      "btnCancel",     "strGridD",        "chksafety",  "edtSavedir",    "btnBrowsSaveD",
              "lbUseShift",   "btnDelDir1",    "btnDelDir2",      "btnDelete",  "TntBitBtn3"})
            QVERIFY2(form.findChild<QWidget*>(QString::fromLatin1(name)) != nullptr, name);
        QCOMPARE(caption(ui.fileMenu->title()), QStringLiteral("File"));
        QCOMPARE(caption(ui.exitAction->text()), QStringLiteral("Exit"));
        QCOMPARE(caption(ui.aboutMenu->title()), QStringLiteral("About"));

        QCOMPARE(form.centralWidget()->size(), QSize(1026, 615));
        form.resize(1400, 700);
        QTRY_COMPARE(form.width(), 1400);
        QCOMPARE(ui.exitButton->geometry().right(), form.centralWidget()->width() - 9);

        QSignalSpy closed(ui.exitAction, &QAction::triggered);
        ui.exitAction->trigger();
        QCOMPARE(closed.count(), 1);
        QVERIFY(!form.isVisible());
    }

    void splashClosesOnClickOrCharacterKeyAndRestartsAStoppedTimer()
    {
        SplashScreen byClick;
        byClick.show();
        QVERIFY(QTest::qWaitForWindowExposed(&byClick));
        QCOMPARE(byClick.size(), QSize(500, 349));
        QVERIFY(!child<QLabel>(byClick, "TntImage1")->pixmap().isNull());
        QTest::mouseClick(child<QLabel>(byClick, "TntImage1"), Qt::LeftButton);
        QVERIFY(!byClick.isVisible());

        SplashScreen byKey;
        byKey.show();
        QVERIFY(QTest::qWaitForWindowExposed(&byKey));
        QTest::keyClick(&byKey, Qt::Key_Shift); // not a character
        QVERIFY(byKey.isVisible());
        QTest::keyClick(&byKey, Qt::Key_Space);
        QVERIFY(!byKey.isVisible());

        SplashScreen stopped;
        child<QTimer>(stopped, "Timer1")->stop();
        stopped.show();
        QVERIFY(child<QTimer>(stopped, "Timer1")->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!stopped.isVisible(), 3000);
        QVERIFY(!child<QTimer>(stopped, "Timer1")->isActive());
    }

    void typingIntoLocation2SwitchesModeAndBack()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        QTest::keyClicks(ui.location2Edit, QStringLiteral("x"));
        QCOMPARE(caption(ui.searchButton->text()), QStringLiteral("C h e c k"));
        QVERIFY(!form->singleDirectory());
        QVERIFY(ui.removeAllButton->isEnabled());
        QTest::keyClick(ui.location2Edit, Qt::Key_Backspace);
        QCOMPARE(caption(ui.searchButton->text()), QStringLiteral("Single directory search"));
        QVERIFY(form->singleDirectory());
        QVERIFY(!ui.removeAllButton->isEnabled());
    }

    void locationsFromTheCommandLineSwitchModeAsTypingWould()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        form->setLocations(QStringLiteral("/one"), QStringLiteral("/two"));
        QCOMPARE(ui.location1Edit->text(), QStringLiteral("/one"));
        QCOMPARE(ui.location2Edit->text(), QStringLiteral("/two"));
        QCOMPARE(caption(ui.searchButton->text()), QStringLiteral("C h e c k"));
        QVERIFY(!form->singleDirectory());
        form->setLocations(QStringLiteral("/one"), QString());
        QCOMPARE(caption(ui.searchButton->text()), QStringLiteral("Single directory search"));
        QVERIFY(form->singleDirectory());
    }

    void browseFillsTheFieldAndACancelledBrowseChangesNothing()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        QTest::mouseClick(ui.browseLocation2Button, Qt::LeftButton); // the picker is cancelled
        QVERIFY(ui.location2Edit->text().isEmpty());
        QVERIFY(form->singleDirectory());
        m_dialogs.chosenFolders = {QStringLiteral("/srv/backup"), QStringLiteral("/home/anna")};
        QTest::mouseClick(ui.browseLocation2Button, Qt::LeftButton);
        QTest::mouseClick(ui.browseLocation1Button, Qt::LeftButton);
        QCOMPARE(ui.location2Edit->text(), QDir::toNativeSeparators(QStringLiteral("/srv/backup")));
        QCOMPARE(ui.location1Edit->text(), QDir::toNativeSeparators(QStringLiteral("/home/anna")));
        QCOMPARE(caption(ui.searchButton->text()), QStringLiteral("C h e c k"));
        QCOMPARE(m_dialogs.pickerTitles, QStringList(3, QStringLiteral("Source Directory")));
    }

    void twoLocationSearchFillsNumberedRowsAndLabels()
    {
        TempTree tree;
        const std::time_t when = 1600000000;
        for (int i = 0; i < 10; ++i)
            tree.file("one/f" + std::to_string(i) + ".txt", 10 + i, when);
        tree.file("one/sub/photo.jpg", 500, when);
        tree.file("one/sub/song.mp3", 700, when);
        tree.file("two/f1.txt", 11, when);
        tree.file("two/deep/photo.jpg", 500, when);
        tree.file("two/f2.txt", 999, when); // other size: no pair
        tree.file("two/a.txt", 1, when);
        tree.file("two/b.txt", 1, when);
        tree.file("two/c.txt", 1, when);
        tree.file("two/deep/song.mp3", 700, when);

        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        ui.location1Edit->setText(QString::fromStdString(tree.path("one")));
        ui.location2Edit->setText(QString::fromStdString(tree.path("two")));
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);

        const QAbstractItemModel* model = ui.resultsTable->model();
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(form->session().pairs().size(), std::size_t(3));
        QStringList names;
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(cell(*form, row, ResultsColumn::Nr), QString::number(row + 1));
            names << cell(*form, row, ResultsColumn::FileName);
        }
        names.sort();
        QCOMPARE(names, QStringList({"f1.txt", "photo.jpg", "song.mp3"}));
        for (int row = 0; row < 3; ++row) {
            const FileRecord& pair = form->session().pairs()[form->session().pairIndexOfRow(std::size_t(row))];
            QCOMPARE(cell(*form, row, ResultsColumn::Location1), QFile::decodeName(pair.dir1().c_str()));
            QCOMPARE(cell(*form, row, ResultsColumn::Location2), QFile::decodeName(pair.dir2().c_str()));
        }
        QVERIFY(cell(*form, 0, ResultsColumn::Location1).startsWith(dirText(tree.path("one"))));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 3"));
        QCOMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in directory shown below  : 12"));
        QCOMPARE(ui.location2CountLabel->text(), QStringLiteral("Total files in directory shown below : 7"));
        QVERIFY(ui.phaseLabel->text().isEmpty() && ui.progressCounter->text().isEmpty());
        QVERIFY(ui.removeAllButton->isEnabled());
        QVERIFY(ui.searchButton->isEnabled());
        QVERIFY(!ui.cancelButton->isEnabled());
        QVERIFY(ui.location1Edit->isEnabled() && ui.browseLocation1Button->isEnabled());
    }

    void searchThatFindsNothingLeavesOneEmptyRow()
    {
        TempTree tree;
        tree.file("a.txt", 1);
        tree.file("sub/b.txt", 2);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        ui.location1Edit->setText(QString::fromStdString(tree.root()));
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);

        QCOMPARE(ui.resultsTable->model()->rowCount(), 1);
        QCOMPARE(cell(*form, 0, ResultsColumn::Nr), QString());
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 0"));
        QCOMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in directory shown below  : 2"));
        QCOMPARE(ui.location2CountLabel->text(), QStringLiteral("Total files in directory shown below : 0"));
        QVERIFY(!ui.removeAllButton->isEnabled());
    }

    void emptyLocation1RefusesToSearch()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList(QStringLiteral("Please choose Location 1 first")));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Duplicate Files Found:"));
        QVERIFY(ui.searchButton->isEnabled());
    }

    void cancelDuringTheWalkLeavesAnEmptyListAndLocksUntilTheSearchReturns()
    {
        TempTree tree;
        for (int d = 0; d < 5; ++d)
            for (int f = 0; f < 3; ++f)
                tree.file("d" + std::to_string(d) + "/same" + std::to_string(f) + ".txt", 3);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        addPair(*form, "previous.txt");
        form->rebuildResultsTable();
        ui.location1Edit->setText(QString::fromStdString(tree.root()));

        bool lockedWhileRunning = false;
        bool findBackAfterCancel = true;
        QTimer::singleShot(0, form.get(), [&] {
            lockedWhileRunning = !ui.location1Edit->isEnabled() && !ui.location2Edit->isEnabled() &&
                                 !ui.browseLocation1Button->isEnabled() && !ui.browseLocation2Button->isEnabled() &&
                                 !ui.removeAllButton->isEnabled() && !ui.searchButton->isEnabled() &&
                                 ui.cancelButton->isEnabled();
            QTest::mouseClick(ui.cancelButton, Qt::LeftButton);
            findBackAfterCancel = ui.searchButton->isEnabled();
        });
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);

        QVERIFY(lockedWhileRunning);
        QVERIFY(!findBackAfterCancel);
        QVERIFY(form->session().cancelRequested());
        QVERIFY(form->session().pairs().empty());
        QCOMPARE(ui.resultsTable->model()->rowCount(), 1);
        QCOMPARE(cell(*form, 0, ResultsColumn::FileName), QString());
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 0"));
        QVERIFY(ui.searchButton->isEnabled());
        QVERIFY(!ui.cancelButton->isEnabled());
        QVERIFY(ui.location1Edit->isEnabled());

        // The cancel belongs to that search: a later rebuild shows every pair.
        addPair(*form, "later.txt");
        form->rebuildResultsTable();
        QCOMPARE(cell(*form, 0, ResultsColumn::FileName), QStringLiteral("later.txt"));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Duplicate Files Found: 1"));
    }

    void closingDuringASearchCancelsItAndClosesOnceItReturns()
    {
        TempTree tree;
        for (int d = 0; d < 4; ++d)
            tree.file("d" + std::to_string(d) + "/x.txt", 3);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        ui.location1Edit->setText(QString::fromStdString(tree.root()));
        bool stillOpenInside = false;
        QTimer::singleShot(0, form.get(), [&] {
            form->close();
            stillOpenInside = form->isVisible();
        });
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);
        QVERIFY(stillOpenInside);
        QVERIFY(form->session().cancelRequested());
        QVERIFY(!form->isVisible());

        // A close during a rebuild of its own (as after the detailed view) is kept and carried out after it.
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        addPair(*form, "p.txt");
        QTimer::singleShot(0, form.get(), [&] { form->close(); });
        form->rebuildResultsTable();
        QVERIFY(!form->isVisible());
    }

    void rebuildSkipsDeletedPairsAndRowsMapToPairs()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        ui.location2Edit->setText(QStringLiteral("/two"));
        for (int i = 0; i < 5; ++i)
            addPair(*form, "p" + std::to_string(i), i == 1);
        form->session().cancel(); // left over from an earlier cancelled search
        form->rebuildResultsTable();

        QCOMPARE(ui.resultsTable->model()->rowCount(), 4);
        const QStringList expected{"p0", "p2", "p3", "p4"};
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(cell(*form, row, ResultsColumn::Nr), QString::number(row + 1));
            QCOMPARE(cell(*form, row, ResultsColumn::FileName), expected[row]);
            QCOMPARE(cell(*form, row, ResultsColumn::Location1), QStringLiteral("/one/"));
            QCOMPARE(cell(*form, row, ResultsColumn::Location2), QStringLiteral("/two/"));
        }
        QCOMPARE(form->session().pairIndexOfRow(0), std::size_t(0));
        QCOMPARE(form->session().pairIndexOfRow(1), std::size_t(2));
        QCOMPARE(form->session().pairIndexOfRow(2), std::size_t(3));
        QCOMPARE(form->session().pairIndexOfRow(3), std::size_t(4));
        QCOMPARE(form->session().pairIndexOfRow(4), std::size_t(0));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Duplicate Files Found: 4"));
        QVERIFY(ui.removeAllButton->isEnabled());

        // Only marked pairs: no row, yet the bulk button is enabled in two-location mode and not in one.
        for (FileRecord& pair : form->session().pairs())
            pair.deleted = true;
        form->rebuildResultsTable();
        QCOMPARE(ui.resultsTable->model()->rowCount(), 1);
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Duplicate Files Found: 0"));
        QVERIFY(ui.removeAllButton->isEnabled());
        ui.location2Edit->clear();
        form->rebuildResultsTable();
        QVERIFY(!ui.removeAllButton->isEnabled());
    }

    void rebuildShowsItsProgressEvery300Rows()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        for (int i = 0; i < 700; ++i)
            addPair(*form, "p" + std::to_string(i));
        QStringList seen;
        QTimer sampler; // a zero timer runs at every servicing of events
        connect(&sampler, &QTimer::timeout, form.get(), [&] {
            if (seen.isEmpty() || seen.last() != ui.progressCounter->text())
                seen << ui.progressCounter->text();
        });
        sampler.start(0);
        form->rebuildResultsTable();
        sampler.stop();
        QCOMPARE(seen, QStringList({"0", "300", "600"}));
        QVERIFY(ui.progressCounter->text().isEmpty());
        QVERIFY(ui.phaseLabel->text().isEmpty());
        QCOMPARE(ui.resultsTable->model()->rowCount(), 700);
    }

    void selectionOfOneRowOrARangeShowsTheMatchingButtons()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        for (int i = 0; i < 5; ++i)
            addPair(*form, "p" + std::to_string(i));
        form->rebuildResultsTable(); // single-directory mode: the bulk button is off
        QVERIFY(!ui.removeAllButton->isEnabled());

        QTableView* table = ui.resultsTable;
        const auto clickRow = [&](int row) {
            const QRect rect = table->visualRect(table->model()->index(row, 1));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
        };
        clickRow(1);
        QVERIFY(ui.removeAllButton->isEnabled());
        QVERIFY(ui.removeSelected1Button->isHidden() && ui.removeSelected2Button->isHidden());

        QTest::keyClick(table, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(table->selectionModel()->selectedRows().size(), 2);
        QVERIFY(!ui.removeAllButton->isEnabled());
        QVERIFY(!ui.removeSelected1Button->isHidden() && !ui.removeSelected2Button->isHidden());

        clickRow(3);
        QVERIFY(ui.removeAllButton->isEnabled());
        QVERIFY(ui.removeSelected1Button->isHidden() && ui.removeSelected2Button->isHidden());
    }

    void columnWidthsFollowTheOuterWidthWithHalvesToEven()
    {
        using Widths = std::array<int, 4>;
        QCOMPARE(columnWidthsForWindowWidth(1000), (Widths{30, 110, 400, 400}));
        QCOMPARE(columnWidthsForWindowWidth(1042), (Widths{31, 115, 417, 417}));
        QCOMPARE(columnWidthsForWindowWidth(150), (Widths{4, 16, 60, 60}));

        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        const Widths atStart = columnWidthsForWindowWidth(form->frameGeometry().width());
        QCOMPARE(ui.resultsTable->columnWidth(2), atStart[2]);
        form->resize(1042 - (form->frameGeometry().width() - form->width()), form->height());
        QTRY_COMPARE(form->frameGeometry().width(), 1042);
        QHeaderView* header = ui.resultsTable->horizontalHeader();
        QCOMPARE(
            (Widths{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2), header->sectionSize(3)}),
            (Widths{31, 115, 417, 417}));
    }

    void aCancelledSearchShowsEveryPairItFoundAndSaysWhatItCounted()
    {
        TempTree tree;
        for (int i = 0; i < 6; ++i) {
            tree.file("one/f" + std::to_string(i), 5, 1600000000);
            tree.file("two/d" + std::to_string(i) + "/f" + std::to_string(i), 5, 1600000000);
        }
        SeamFileSystem fs;
        int foldersOfTwo = 0;
        auto form = openWindow(fs);
        QVERIFY(form);
        const MainWindowControls ui(*form);
        // Cancel as the third folder below location 2 is listed: two of its six files have been paired by then. The
        // click comes from inside a listing, so the listing runs on the window's own thread.
        form->session().setWalkThreads(1);
        fs.afterList = [&](const PathString& dir) {
            if (dir.starts_with(tree.path("two/d")) && ++foldersOfTwo == 3)
                ui.cancelButton->click();
        };
        form->setLocations(QString::fromStdString(tree.path("one")), QString::fromStdString(tree.path("two")));
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);

        QCOMPARE(form->session().pairs().size(), std::size_t(2));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 2);
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 2"));
        QCOMPARE(ui.phaseLabel->text(), QStringLiteral("Search cancelled: counts so far"));
        QVERIFY(ui.progressCounter->text().isEmpty());
        QCOMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in directory shown below  : 6"));
        QCOMPARE(ui.location2CountLabel->text(), QStringLiteral("Total files in directory shown below : 2"));

        // What the bulk removal reaches is what the table shows.
        QTest::mouseClick(ui.resultsTable->viewport(), Qt::LeftButton, {},
                          ui.resultsTable->visualRect(ui.resultsTable->model()->index(0, 1)).center());
        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeAllButton, Qt::LeftButton);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("2 files was deleted from total of 2")));
        QVERIFY(ui.phaseLabel->text().isEmpty());
    }

    void aCancelDuringTheContentComparisonSaysTheSearchWasCancelled()
    {
        TempTree tree;
        for (int i = 0; i < 8; ++i) {
            tree.file("one/f" + std::to_string(i), 5, 1600000000);
            tree.file("two/f" + std::to_string(i), 5, 1600000000);
        }
        SeamFileSystem fs;
        fs.beforeRead = [](const PathString&) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
        auto form = openWindow(fs);
        QVERIFY(form);
        const MainWindowControls ui(*form);
        QTimer canceller; // a zero timer runs at every servicing of events
        connect(&canceller, &QTimer::timeout, form.get(), [&] {
            if (ui.phaseLabel->text().startsWith(QStringLiteral("Comparing contents")) && ui.cancelButton->isEnabled())
                ui.cancelButton->click();
        });
        canceller.start(0);
        ui.sameContentBox->setChecked(true);
        form->setLocations(QString::fromStdString(tree.path("one")), QString::fromStdString(tree.path("two")));
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);
        canceller.stop();

        QVERIFY(form->session().pairs().size() < 8);
        QCOMPARE(ui.phaseLabel->text(), QStringLiteral("Search cancelled: counts so far"));
        QCOMPARE(ui.location2CountLabel->text(), QStringLiteral("Total files in directory shown below : 8"));
    }

    void accessKeysReachMenusAndControlsAndAMissingLocationIsNamed()
    {
        TempTree tree;
        tree.file("one/a", 3, 1600000000);
        tree.file("locked/a", 3, 1600000000);
        SeamFileSystem fs;
        fs.failList.insert(tree.path("locked") + kSeparator);
        auto form = openWindow(fs);
        QVERIFY(form);
        const MainWindowControls ui(*form);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        const QString one = QString::fromStdString(tree.path("one"));
        form->setLocations(one, QString::fromStdString(tree.path("missing")));

        // Each access key belongs to one control: a key two controls shared would only move the focus between them.
        QList<QKeySequence> keys;
        const auto take = [&keys](const QString& text, const QString& name) {
            const QKeySequence key = QKeySequence::mnemonic(text);
            QVERIFY2(!key.isEmpty() && !keys.contains(key), qPrintable(name + ": " + text));
            keys << key;
        };
        for (const char* panel : {"TopPanel", "BottomPanel"}) {
            for (QAbstractButton* button : child<QWidget>(*form, panel)->findChildren<QAbstractButton*>())
                if (button->text() != QStringLiteral("..."))
                    take(button->text(), button->objectName());
            for (QLabel* label : child<QWidget>(*form, panel)->findChildren<QLabel*>())
                if (label->buddy())
                    take(label->text(), label->objectName());
        }
        for (QAction* menu : form->menuBar()->actions())
            take(menu->text(), menu->objectName());

        // Alt+F opens the menu instead of typing into the box; Alt+2 goes to location 2, Alt+C searches.
        ui.location1Edit->setFocus();
        QTest::keyClick(ui.location1Edit, Qt::Key_F, Qt::AltModifier);
        QCOMPARE(ui.location1Edit->text(), one);
        QTRY_VERIFY(ui.fileMenu->isVisible());
        ui.fileMenu->close();
        QTest::keyClick(ui.location1Edit, Qt::Key_2, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), ui.location2Edit);
        QTest::keyClick(ui.location2Edit, Qt::Key_C, Qt::AltModifier); // a button's key clicks it a moment later
        QTRY_COMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in directory shown below  : 1"));
        QCOMPARE(ui.location2CountLabel->text(),
                 QStringLiteral("Total files in directory shown below : 0 (not found)"));

        for (const auto& [location, problem] : {std::pair{"locked", "no access"}, std::pair{"one/a", "is a file"}}) {
            form->setLocations(one, QString::fromStdString(tree.path(location)));
            QTest::mouseClick(ui.searchButton, Qt::LeftButton);
            QCOMPARE(ui.location2CountLabel->text(),
                     QStringLiteral("Total files in directory shown below : 0 (%1)").arg(QLatin1String(problem)));
            QVERIFY2(!textWidthsAreReal() ||
                         ui.location2CountLabel->sizeHint().width() <= ui.location2CountLabel->width(),
                     qPrintable(QStringLiteral("needs %1 pixels in %2")
                                    .arg(ui.location2CountLabel->sizeHint().width())
                                    .arg(ui.location2CountLabel->font().toString())));
        }
    }

    void controlsCarryTheNamesAScreenReaderSpeaks()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        form->setLocations(QStringLiteral("/one"), QStringLiteral("/two"));
        const auto spoken = [](QWidget* widget) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            return accessible ? accessible->text(QAccessible::Name) : QString();
        };
        const std::pair<QWidget*, const char*> names[] = {
            {ui.location1Edit, "Location 1"},
            {ui.browseLocation1Button, "Browse for location 1"},
            {ui.location2Edit, "Location 2"},
            {ui.browseLocation2Button, "Browse for location 2"},
            {ui.searchButton, "Check"},
            {ui.sameDateBox, "Same date"},
            {ui.resultsTable, "Duplicate pairs"},
            {ui.safetyDirectoryEdit, "Safety directory"},
            {ui.browseSafetyButton, "Browse for the safety directory"},
            {ui.removeAllButton, "Delete duplicate files"},
            {ui.exitButton, "Exit"},
        };
        for (const auto& [widget, name] : names)
            QCOMPARE(spoken(widget), QString::fromLatin1(name));
        form->setLocations(QStringLiteral("/one"), QString());
        QCOMPARE(spoken(ui.searchButton), QStringLiteral("Single directory search"));
    }

    void aRemovalCountsAgainstTheModeOfTheSearchThatMadeThePairs()
    {
        TempTree tree;
        for (const char* name : {"d1/a", "d1/b", "d2/a", "d2/b"})
            tree.file(name, 4, 1600000000);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        form->setLocations(QString::fromStdString(tree.root()), QString());
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);
        QCOMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in directory shown below  : 4"));

        QTest::keyClicks(ui.location2Edit, QStringLiteral("x")); // two-location mode from now on
        QVERIFY(ui.removeAllButton->isEnabled());
        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeAllButton, Qt::LeftButton);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("2 files was deleted from total of 2")));
        QCOMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in directory shown below  : 2"));
        QCOMPARE(ui.location2CountLabel->text(), QStringLiteral("Total files in directory shown below : 0"));
    }

    void afterASearchTheKeyboardIsBackOnTheSearchButton()
    {
        TempTree tree;
        tree.file("one/a", 3, 1600000000);
        tree.file("two/a", 3, 1600000000);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->setLocations(QString::fromStdString(tree.path("one")), QString::fromStdString(tree.path("two")));

        ui.location2Edit->setFocus();
        QTest::keyClick(ui.location2Edit, Qt::Key_Return);
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 1"));
        QCOMPARE(QApplication::focusWidget(), ui.searchButton);

        form->session().pairs().clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // searches again, unticks nothing
        QCOMPARE(form->session().pairs().size(), std::size_t(1));
        QVERIFY(ui.sameDateBox->isChecked() && ui.sameSizeBox->isChecked());
        QCOMPARE(QApplication::focusWidget(), ui.searchButton);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // still the bulk removal's key
        QCOMPARE(m_dialogs.questions, QStringList(QStringLiteral("Are you sure you want to delete all files?")));
    }

    void atItsMinimumSizeNoControlIsCutOffOrCovered()
    {
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        // Every control that can show, with the longest texts it can show.
        ui.safetyBox->click();
        ui.removeSelected1Button->show();
        ui.removeSelected2Button->show();
        ui.pairCountLabel->setText(QStringLiteral("Duplicate Files Found: 2147483647"));
        ui.location1CountLabel->setText(QStringLiteral("Total files in directory shown below  : 2147483647"));
        ui.location2CountLabel->setText(QStringLiteral("Total files in directory shown below : 2147483647"));
        ui.phaseLabel->setText(QStringLiteral("Loading duplicates in the table ..."));
        ui.progressCounter->setText(QStringLiteral("9999999"));

        const auto check = [&](const char* panelName) {
            const auto* panel = form->findChild<QWidget*>(QString::fromLatin1(panelName));
            QList<QWidget*> shown;
            for (QWidget* control : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (control->isVisible())
                    shown << control;
            for (QWidget* control : shown) {
                const QByteArray name = control->objectName().toLatin1();
                QVERIFY2(panel->rect().contains(control->geometry()), name);
                int needed = control->sizeHint().width();
                // The style's minimum is no text's need, and the '&' of an access key is not drawn.
                if (auto* button = qobject_cast<QPushButton*>(control))
                    needed = button->fontMetrics().horizontalAdvance(caption(button->text())) + 8;
                else if (qobject_cast<QLineEdit*>(control))
                    needed = 100;
                QVERIFY2(!textWidthsAreReal() || control->width() >= needed,
                         qPrintable(QStringLiteral("%1 is %2 pixels wide and needs %3 in %4")
                                        .arg(QLatin1String(name))
                                        .arg(control->width())
                                        .arg(needed)
                                        .arg(control->font().toString())));
                for (QWidget* other : shown)
                    QVERIFY2(other == control || !other->geometry().intersects(control->geometry()),
                             name + " / " + other->objectName().toLatin1());
            }
        };
        for (const QSize& asked : {QSize(1, 1), QSize(1600, 900)}) {
            form->resize(asked);
            QTRY_COMPARE(form->size(), asked.expandedTo(form->minimumSize()));
            check("TopPanel");
            check("BottomPanel");
            QVERIFY(ui.resultsTable->viewport()->height() >=
                    3 * ui.resultsTable->verticalHeader()->defaultSectionSize());
        }
        QCOMPARE(form->centralWidget()->minimumWidth(), 1026);
    }

    void folderPickersOpenAtTheDesktopWithNothingChosenAndWriteNothing()
    {
#ifdef Q_OS_WIN
        QSKIP("the folder picker is the shell's own on Windows, a window no test can answer");
#endif
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Desktop/photos")));
        const ScopedEnvironment homeVariable("HOME", home.path().toStdString());
        setDialogs(nullptr); // the real picker
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);

        const QString photos = home.filePath(QStringLiteral("Desktop/photos"));
        bool checked = false;
        whenPickerOpens(form.get(), [&](FolderPicker& picker) {
            QCOMPARE(picker.windowTitle(), QStringLiteral("Source Directory"));
            QCOMPARE(picker.startFolder(), home.filePath(QStringLiteral("Desktop")));
            const QModelIndex start = picker.model()->index(picker.startFolder());
            QVERIFY(picker.folders()->isExpanded(start));
            QTRY_VERIFY(picker.folders()->viewport()->rect().contains(picker.folders()->visualRect(start)));
            QVERIFY(!picker.folders()->selectionModel()->hasSelection());
            const QList<QPushButton*> buttons = picker.findChildren<QPushButton*>();
            QCOMPARE(buttons.size(), 2); // OK and Cancel: no new-folder button
            auto* ok = picker.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            QVERIFY(!ok->isEnabled());
            picker.folders()->setCurrentIndex(picker.model()->index(photos));
            QVERIFY(ok->isEnabled());
            checked = true;
            ok->click();
        });
        QTest::mouseClick(ui.browseLocation1Button, Qt::LeftButton);
        QVERIFY(checked);
        QCOMPARE(ui.location1Edit->text(), photos);

        // Without a desktop folder the picker opens at home; cancelled, it changes nothing.
        QVERIFY(QDir(home.filePath(QStringLiteral("Desktop"))).removeRecursively());
        QString openedAt;
        whenPickerOpens(form.get(), [&](FolderPicker& picker) { openedAt = picker.startFolder(); });
        QTest::mouseClick(ui.browseLocation2Button, Qt::LeftButton);
        QCOMPARE(openedAt, home.path());
        QVERIFY(ui.location2Edit->text().isEmpty());

        const QDir config(qEnvironmentVariable("XDG_CONFIG_HOME"));
        QVERIFY2(!config.exists(QStringLiteral("QtProject.conf")), "the picker kept a history");
    }

    void theProgressLabelNamesEachStepOfTheSearchInOrder()
    {
        TempTree tree;
        tree.file("one/a.txt", 5, 1600000000);
        tree.file("two/a.txt", 5, 1600000000);
        SeamFileSystem fs;
        auto form = openWindow(fs);
        QVERIFY(form);
        const MainWindowControls ui(*form);
        // Each step once, with the first text it showed: the comparison's amounts after " ... " change as it reads.
        QStringList seen;
        const auto look = [&] {
            const QString text = ui.phaseLabel->text();
            const QString step = text.section(QStringLiteral(" ... "), 0, 0);
            if (!text.isEmpty() && (seen.isEmpty() || seen.last().section(QStringLiteral(" ... "), 0, 0) != step))
                seen << text;
        };
        // The walks are seen as they list a folder (on the window's thread, to read the label); the comparison and the
        // rebuild when the window breathes, which a slow reader gives the comparison time to do.
        form->session().setWalkThreads(1);
        fs.afterList = [&](const PathString&) { look(); };
        fs.beforeRead = [](const PathString&) { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };
        QTimer sampler; // a zero timer runs at every servicing of events
        connect(&sampler, &QTimer::timeout, form.get(), look);
        sampler.start(0);
        ui.sameContentBox->setChecked(true);
        form->setLocations(QString::fromStdString(tree.path("one")), QString::fromStdString(tree.path("two")));
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);
        sampler.stop();

        QCOMPARE(seen.size(), 4);
        QCOMPARE(seen[0], QStringLiteral("Readin files form location 1"));
        QCOMPARE(seen[1], QStringLiteral("Looking for duplicates ..."));
        QVERIFY2(QRegularExpression(QStringLiteral("^Comparing contents \\.\\.\\. \\d+/10 bytes$"))
                     .match(seen[2])
                     .hasMatch(),
                 qPrintable(seen.join(QLatin1Char('|'))));
        QCOMPARE(seen[3], QStringLiteral("Loading duplicates in the table ..."));
        QVERIFY(ui.phaseLabel->text().isEmpty());
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 1"));
    }

    void errorsThatEscapeAHandlerAreReportedAndTheProgramGoesOn()
    {
        ThrowingObject target;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&target, &event);
        QCOMPARE(m_dialogs.errors, QStringList(QStringLiteral("the disk caught fire")));

        TempTree tree;
        tree.file("a.txt", 1);
        SeamFileSystem fs;
        fs.afterList = [](const PathString&) { throw std::runtime_error("listing exploded"); };
        auto form = openWindow(fs);
        QVERIFY(form);
        const MainWindowControls ui(*form);
        ui.location1Edit->setText(QString::fromStdString(tree.root()));
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);
        QCOMPARE(m_dialogs.errors.size(), 2);
        QCOMPARE(m_dialogs.errors.last(), QStringLiteral("listing exploded"));
        QVERIFY(ui.searchButton->isEnabled());
        QVERIFY(!ui.cancelButton->isEnabled());
        QVERIFY(ui.location1Edit->isEnabled());
        QVERIFY(!form->session().searching());

        // A click made by code emits the signal with no event around it: the handler itself must catch, since an
        // exception must never travel through Qt's signal code.
        ui.searchButton->click();
        QCOMPARE(m_dialogs.errors.size(), 3);
        QCOMPARE(m_dialogs.errors.last(), QStringLiteral("listing exploded"));
        QVERIFY(ui.searchButton->isEnabled());
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!twinspotter::test::EnterPrivateHome(home))
        return 2;
    TwinspotterApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
