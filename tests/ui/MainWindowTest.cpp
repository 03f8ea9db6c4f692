// The main window driven through its real widgets: start-up, mode switch, searches, cancel, the table and errors.
#include "tests/support/PrivateHome.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"
#include "tests/ui/FakeDialogs.h"
#include "ui/Application.h"
#include "ui/ColumnWidths.h"
#include "ui/Dialogs.h"
#include "ui/ResultsModel.h"
#include "ui/TMainForm.h"
#include "ui/TSplashScrForm.h"

#include <QAbstractItemModelTester>
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
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>
#include <stdexcept>

using namespace twinspotter;
using twinspotter::test::FakeDialogs;
using twinspotter::test::ScopedEnvironment;
using twinspotter::test::SeamFileSystem;
using twinspotter::test::TempTree;

namespace {

QString cell(const TMainForm& form, int row, ResultsColumn column)
{
    const QAbstractItemModel* model = form.strGridD->model();
    return model->data(model->index(row, static_cast<int>(column))).toString();
}

QString dirText(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path)) + QLatin1Char('/');
}

// Appends a pair whose name is \p name to the window's pair list.
void addPair(TMainForm& form, const std::string& name, bool deleted = false)
{
    FileList& pairs = form.session().pairs();
    FileRecord pair;
    pair.directory1 = pairs.addDirectory("/one/");
    pair.directory2 = pairs.addDirectory("/two/");
    pair.name = name;
    pair.deleted = deleted;
    pairs.append(std::move(pair));
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

    std::unique_ptr<TMainForm> openWindow(FileSystem& fs = realFileSystem())
    {
        auto form = std::make_unique<TMainForm>(fs);
        new QAbstractItemModelTester(form->strGridD->model(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     form.get());
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
        TMainForm form;
        TSplashScrForm splash;
        form.setSplash(&splash);
        QVERIFY(splash.Timer1->isActive());
        bool splashWasUp = false;
        QTimer::singleShot(100, &splash, [&] { splashWasUp = splash.isVisible(); });
        form.show(); // the splash runs modally inside and closes on its own tick
        QVERIFY(splashWasUp);
        QVERIFY(!splash.isVisible());
        QVERIFY(!splash.Timer1->isActive());
        QVERIFY2(clock.elapsed() >= 900 && clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QCOMPARE(form.windowTitle(), QStringLiteral("Duplicate file finder  v. 1.0.7"));
        QCOMPARE(form.twinspotter_caption(), form.windowTitle());
        QCOMPARE(form.AppReleaseDate(), QStringLiteral("09/02/2010"));
        QVERIFY(!QFile::exists(QStringLiteral("TwinspotterUpdate.exe")));
        QVERIFY(QFile::exists(notInWorkingDir));
        QVERIFY(form.Reg() != nullptr);
        QVERIFY(QFile::exists(form.Reg()->fileName()));
        QVERIFY(form.Reg()->allKeys().isEmpty());

        const QAbstractItemModel* model = form.strGridD->model();
        QStringList header;
        for (int c = 0; c < model->columnCount(); ++c)
            header << model->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(header, QStringList({" Nr", " File name", " Location 1", " Location 2"}));
        QVERIFY(form.strGridD->verticalHeader()->isHidden());
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(cell(form, 0, ResultsColumn::FileName), QString());

        QVERIFY(form.edtStartDir1->text().isEmpty());
        QVERIFY(form.edtStartDir2->text().isEmpty());
        QVERIFY(form.session().singleDirectory());
        QCOMPARE(form.Buttonfind->text(), QStringLiteral("Single directory search"));
        QVERIFY(form.Buttonfind->isEnabled());
        QVERIFY(!form.btnCancel->isEnabled());
        QVERIFY(!form.btnDelete->isEnabled());
        QCOMPARE(form.btnDelete->text(), QStringLiteral("Delete duplicate files"));
        QCOMPARE(form.btnDelete->toolTip(),
                 QStringLiteral("Delete all duplicate files, that are exact match from second directory."));
        QVERIFY(form.btnDelDir1->isHidden() && form.btnDelDir2->isHidden());
        QCOMPARE(form.btnDelDir1->text(), QStringLiteral("delete selected from directory 1"));
        QCOMPARE(form.btnDelDir2->text(), QStringLiteral("delete selected from directory 2"));
        QVERIFY(form.chkName->isChecked() && !form.chkName->isEnabled());
        QVERIFY(form.chkDate->isChecked() && form.chkDate->isEnabled());
        QVERIFY(form.chkSize->isChecked() && form.chkSize->isEnabled());
        QVERIFY(!form.chksafety->isChecked());
        QCOMPARE(form.chksafety->text(),
                 QStringLiteral("move files to a specific directory instead of deleting for safety"));
        QVERIFY(form.edtSavedir->isHidden() && form.edtSavedir->isReadOnly());
        QVERIFY(form.btnBrowsSaveD->isHidden());
        QCOMPARE(form.lbTotalFiles1->text(), QStringLiteral("Total files in Location 1"));
        QCOMPARE(form.lbTotalfiles2->text(), QStringLiteral("Total files in Location 2 "));
        QCOMPARE(form.Labelcount1->text(), QStringLiteral("Duplicate Files Found:"));
        QCOMPARE(form.lbUseShift->text(), QStringLiteral("Use shift and arrows to select files for deletion"));
        QCOMPARE(form.TntBitBtn3->text(), QStringLiteral(" E x i t"));
        QCOMPARE(form.TntBitBtn1->text(), QStringLiteral("..."));
        QVERIFY(form.ProgressLabel->text().isEmpty() && form.ProgressCounter->text().isEmpty());

        for (const char* name : {"edtStartDir1", "TntBitBtn1", "edtStartDir2", "TntBitBtn2", "lbTotalFiles1",
                                 "lbTotalfiles2", "Labelcount1", "ProgressLabel", "ProgressCounter", "Buttonfind",
                                 "chkName", "chkDate", "chkSize", "btnCancel", "strGridD", "chksafety", "edtSavedir",
                                 "btnBrowsSaveD", "lbUseShift", "btnDelDir1", "btnDelDir2", "btnDelete", "TntBitBtn3"})
            QVERIFY2(form.findChild<QWidget*>(QString::fromLatin1(name)) != nullptr, name);
        QCOMPARE(form.File1->title(), QStringLiteral("File"));
        QCOMPARE(form.Exit1->text(), QStringLiteral("Exit"));
        QCOMPARE(form.About2->title(), QStringLiteral("About"));

        QCOMPARE(form.centralWidget()->size(), QSize(1026, 615));
        form.resize(1400, 700);
        QTRY_COMPARE(form.width(), 1400);
        QCOMPARE(form.TntBitBtn3->geometry().right(), form.centralWidget()->width() - 9);

        QSignalSpy closed(form.Exit1, &QAction::triggered);
        form.Exit1->trigger();
        QCOMPARE(closed.count(), 1);
        QVERIFY(!form.isVisible());
    }

    void splashClosesOnClickOrCharacterKeyAndRestartsAStoppedTimer()
    {
        TSplashScrForm byClick;
        byClick.show();
        QVERIFY(QTest::qWaitForWindowExposed(&byClick));
        QCOMPARE(byClick.size(), QSize(500, 349));
        QVERIFY(!byClick.TntImage1->pixmap().isNull());
        QTest::mouseClick(byClick.TntImage1, Qt::LeftButton);
        QVERIFY(!byClick.isVisible());

        TSplashScrForm byKey;
        byKey.show();
        QVERIFY(QTest::qWaitForWindowExposed(&byKey));
        QTest::keyClick(&byKey, Qt::Key_Shift); // not a character
        QVERIFY(byKey.isVisible());
        QTest::keyClick(&byKey, Qt::Key_Space);
        QVERIFY(!byKey.isVisible());

        TSplashScrForm stopped;
        stopped.Timer1->stop();
        stopped.show();
        QVERIFY(stopped.Timer1->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!stopped.isVisible(), 3000);
        QVERIFY(!stopped.Timer1->isActive());
    }

    void typingIntoLocation2SwitchesModeAndBack()
    {
        auto form = openWindow();
        QVERIFY(form);
        QTest::keyClicks(form->edtStartDir2, QStringLiteral("x"));
        QCOMPARE(form->Buttonfind->text(), QStringLiteral("C h e c k"));
        QVERIFY(!form->session().singleDirectory());
        QVERIFY(form->btnDelete->isEnabled());
        QTest::keyClick(form->edtStartDir2, Qt::Key_Backspace);
        QCOMPARE(form->Buttonfind->text(), QStringLiteral("Single directory search"));
        QVERIFY(form->session().singleDirectory());
        QVERIFY(!form->btnDelete->isEnabled());
    }

    void locationsFromTheCommandLineSwitchModeAsTypingWould()
    {
        auto form = openWindow();
        QVERIFY(form);
        form->setLocations(QStringLiteral("/one"), QStringLiteral("/two"));
        QCOMPARE(form->edtStartDir1->text(), QStringLiteral("/one"));
        QCOMPARE(form->edtStartDir2->text(), QStringLiteral("/two"));
        QCOMPARE(form->Buttonfind->text(), QStringLiteral("C h e c k"));
        QVERIFY(!form->session().singleDirectory());
        form->setLocations(QStringLiteral("/one"), QString());
        QCOMPARE(form->Buttonfind->text(), QStringLiteral("Single directory search"));
        QVERIFY(form->session().singleDirectory());
    }

    void browseFillsTheFieldAndACancelledBrowseChangesNothing()
    {
        auto form = openWindow();
        QVERIFY(form);
        QTest::mouseClick(form->TntBitBtn2, Qt::LeftButton); // the picker is cancelled
        QVERIFY(form->edtStartDir2->text().isEmpty());
        QVERIFY(form->session().singleDirectory());
        m_dialogs.chosenFolders = {QStringLiteral("/srv/backup"), QStringLiteral("/home/anna")};
        QTest::mouseClick(form->TntBitBtn2, Qt::LeftButton);
        QTest::mouseClick(form->TntBitBtn1, Qt::LeftButton);
        QCOMPARE(form->edtStartDir2->text(), QStringLiteral("/srv/backup"));
        QCOMPARE(form->edtStartDir1->text(), QStringLiteral("/home/anna"));
        QCOMPARE(form->Buttonfind->text(), QStringLiteral("C h e c k"));
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
        form->edtStartDir1->setText(QString::fromStdString(tree.path("one")));
        form->edtStartDir2->setText(QString::fromStdString(tree.path("two")));
        QTest::mouseClick(form->Buttonfind, Qt::LeftButton);

        const QAbstractItemModel* model = form->strGridD->model();
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
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Doublicates found: 3"));
        QCOMPARE(form->lbTotalFiles1->text(), QStringLiteral("Total files in directory shown below  : 12"));
        QCOMPARE(form->lbTotalfiles2->text(), QStringLiteral("Total files in directory shown below : 7"));
        QVERIFY(form->ProgressLabel->text().isEmpty() && form->ProgressCounter->text().isEmpty());
        QVERIFY(form->btnDelete->isEnabled());
        QVERIFY(form->Buttonfind->isEnabled());
        QVERIFY(!form->btnCancel->isEnabled());
        QVERIFY(form->edtStartDir1->isEnabled() && form->TntBitBtn1->isEnabled());
    }

    void searchThatFindsNothingLeavesOneEmptyRow()
    {
        TempTree tree;
        tree.file("a.txt", 1);
        tree.file("sub/b.txt", 2);
        auto form = openWindow();
        QVERIFY(form);
        form->edtStartDir1->setText(QString::fromStdString(tree.root()));
        QTest::mouseClick(form->Buttonfind, Qt::LeftButton);

        QCOMPARE(form->strGridD->model()->rowCount(), 1);
        QCOMPARE(cell(*form, 0, ResultsColumn::Nr), QString());
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Doublicates found: 0"));
        QCOMPARE(form->lbTotalFiles1->text(), QStringLiteral("Total files in directory shown below  : 2"));
        QCOMPARE(form->lbTotalfiles2->text(), QStringLiteral("Total files in directory shown below : 0"));
        QVERIFY(!form->btnDelete->isEnabled());
    }

    void emptyLocation1RefusesToSearch()
    {
        auto form = openWindow();
        QVERIFY(form);
        QTest::mouseClick(form->Buttonfind, Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList(QStringLiteral("Please choose Location 1 first")));
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Duplicate Files Found:"));
        QVERIFY(form->Buttonfind->isEnabled());
    }

    void cancelDuringTheWalkLeavesAnEmptyListAndLocksUntilTheSearchReturns()
    {
        TempTree tree;
        for (int d = 0; d < 5; ++d)
            for (int f = 0; f < 3; ++f)
                tree.file("d" + std::to_string(d) + "/same" + std::to_string(f) + ".txt", 3);
        auto form = openWindow();
        QVERIFY(form);
        addPair(*form, "previous.txt");
        form->RebuildResultsTable();
        form->edtStartDir1->setText(QString::fromStdString(tree.root()));

        bool lockedWhileRunning = false;
        bool findBackAfterCancel = true;
        QTimer::singleShot(0, form.get(), [&] {
            lockedWhileRunning = !form->edtStartDir1->isEnabled() && !form->edtStartDir2->isEnabled() &&
                                 !form->TntBitBtn1->isEnabled() && !form->TntBitBtn2->isEnabled() &&
                                 !form->btnDelete->isEnabled() && !form->Buttonfind->isEnabled() &&
                                 form->btnCancel->isEnabled();
            QTest::mouseClick(form->btnCancel, Qt::LeftButton);
            findBackAfterCancel = form->Buttonfind->isEnabled();
        });
        QTest::mouseClick(form->Buttonfind, Qt::LeftButton);

        QVERIFY(lockedWhileRunning);
        QVERIFY(!findBackAfterCancel);
        QVERIFY(form->session().cancelRequested());
        QVERIFY(form->session().pairs().empty());
        QCOMPARE(form->strGridD->model()->rowCount(), 1);
        QCOMPARE(cell(*form, 0, ResultsColumn::FileName), QString());
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Doublicates found: 0"));
        QVERIFY(form->Buttonfind->isEnabled());
        QVERIFY(!form->btnCancel->isEnabled());
        QVERIFY(form->edtStartDir1->isEnabled());

        // The cancel belongs to that search: a later rebuild shows every pair.
        addPair(*form, "later.txt");
        form->RebuildResultsTable();
        QCOMPARE(cell(*form, 0, ResultsColumn::FileName), QStringLiteral("later.txt"));
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Duplicate Files Found: 1"));
    }

    void closingDuringASearchCancelsItAndClosesOnceItReturns()
    {
        TempTree tree;
        for (int d = 0; d < 4; ++d)
            tree.file("d" + std::to_string(d) + "/x.txt", 3);
        auto form = openWindow();
        QVERIFY(form);
        form->edtStartDir1->setText(QString::fromStdString(tree.root()));
        bool stillOpenInside = false;
        QTimer::singleShot(0, form.get(), [&] {
            form->close();
            stillOpenInside = form->isVisible();
        });
        QTest::mouseClick(form->Buttonfind, Qt::LeftButton);
        QVERIFY(stillOpenInside);
        QVERIFY(form->session().cancelRequested());
        QVERIFY(!form->isVisible());

        // A close during a rebuild of its own (as after the detailed view) is kept and carried out after it.
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        addPair(*form, "p.txt");
        QTimer::singleShot(0, form.get(), [&] { form->close(); });
        form->RebuildResultsTable();
        QVERIFY(!form->isVisible());
    }

    void rebuildSkipsDeletedPairsAndRowsMapToPairs()
    {
        auto form = openWindow();
        QVERIFY(form);
        form->edtStartDir2->setText(QStringLiteral("/two"));
        for (int i = 0; i < 5; ++i)
            addPair(*form, "p" + std::to_string(i), i == 1);
        form->session().cancel(); // left over from an earlier cancelled search
        form->RebuildResultsTable();

        QCOMPARE(form->strGridD->model()->rowCount(), 4);
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
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Duplicate Files Found: 4"));
        QVERIFY(form->btnDelete->isEnabled());

        // Only marked pairs: no row, yet the bulk button is enabled in two-location mode and not in one.
        for (FileRecord& pair : form->session().pairs())
            pair.deleted = true;
        form->RebuildResultsTable();
        QCOMPARE(form->strGridD->model()->rowCount(), 1);
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Duplicate Files Found: 0"));
        QVERIFY(form->btnDelete->isEnabled());
        form->edtStartDir2->clear();
        form->RebuildResultsTable();
        QVERIFY(!form->btnDelete->isEnabled());
    }

    void rebuildShowsItsProgressEvery300Rows()
    {
        auto form = openWindow();
        QVERIFY(form);
        for (int i = 0; i < 700; ++i)
            addPair(*form, "p" + std::to_string(i));
        QStringList seen;
        QTimer sampler; // a zero timer runs at every servicing of events
        connect(&sampler, &QTimer::timeout, form.get(), [&] {
            if (seen.isEmpty() || seen.last() != form->ProgressCounter->text())
                seen << form->ProgressCounter->text();
        });
        sampler.start(0);
        form->RebuildResultsTable();
        sampler.stop();
        QCOMPARE(seen, QStringList({"0", "300", "600"}));
        QVERIFY(form->ProgressCounter->text().isEmpty());
        QVERIFY(form->ProgressLabel->text().isEmpty());
        QCOMPARE(form->strGridD->model()->rowCount(), 700);
    }

    void selectionOfOneRowOrARangeShowsTheMatchingButtons()
    {
        auto form = openWindow();
        QVERIFY(form);
        for (int i = 0; i < 5; ++i)
            addPair(*form, "p" + std::to_string(i));
        form->RebuildResultsTable(); // single-directory mode: the bulk button is off
        QVERIFY(!form->btnDelete->isEnabled());

        QTableView* table = form->strGridD;
        const auto clickRow = [&](int row) {
            const QRect rect = table->visualRect(table->model()->index(row, 1));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
        };
        clickRow(1);
        QVERIFY(form->btnDelete->isEnabled());
        QVERIFY(form->btnDelDir1->isHidden() && form->btnDelDir2->isHidden());

        QTest::keyClick(table, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(table->selectionModel()->selectedRows().size(), 2);
        QVERIFY(!form->btnDelete->isEnabled());
        QVERIFY(!form->btnDelDir1->isHidden() && !form->btnDelDir2->isHidden());

        clickRow(3);
        QVERIFY(form->btnDelete->isEnabled());
        QVERIFY(form->btnDelDir1->isHidden() && form->btnDelDir2->isHidden());
    }

    void columnWidthsFollowTheOuterWidthWithHalvesToEven()
    {
        using Widths = std::array<int, 4>;
        QCOMPARE(columnWidthsForWindowWidth(1000), (Widths{30, 110, 400, 400}));
        QCOMPARE(columnWidthsForWindowWidth(1042), (Widths{31, 115, 417, 417}));
        QCOMPARE(columnWidthsForWindowWidth(150), (Widths{4, 16, 60, 60}));

        auto form = openWindow();
        QVERIFY(form);
        const Widths atStart = columnWidthsForWindowWidth(form->frameGeometry().width());
        QCOMPARE(form->strGridD->columnWidth(2), atStart[2]);
        form->resize(1042 - (form->frameGeometry().width() - form->width()), form->height());
        QTRY_COMPARE(form->frameGeometry().width(), 1042);
        QHeaderView* header = form->strGridD->horizontalHeader();
        QCOMPARE((Widths{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2),
                         header->sectionSize(3)}),
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
        // Cancel as the third folder below location 2 is listed: two of its six files have been paired by then.
        fs.afterList = [&](const PathString& dir) {
            if (dir.starts_with(tree.path("two/d")) && ++foldersOfTwo == 3)
                form->btnCancel->click();
        };
        form->setLocations(QString::fromStdString(tree.path("one")), QString::fromStdString(tree.path("two")));
        QTest::mouseClick(form->Buttonfind, Qt::LeftButton);

        QCOMPARE(form->session().pairs().size(), std::size_t(2));
        QCOMPARE(form->strGridD->model()->rowCount(), 2);
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Doublicates found: 2"));
        QCOMPARE(form->ProgressLabel->text(), QStringLiteral("Search cancelled: counts so far"));
        QVERIFY(form->ProgressCounter->text().isEmpty());
        QCOMPARE(form->lbTotalFiles1->text(), QStringLiteral("Total files in directory shown below  : 6"));
        QCOMPARE(form->lbTotalfiles2->text(), QStringLiteral("Total files in directory shown below : 2"));

        // What the bulk removal reaches is what the table shows.
        QTest::mouseClick(form->strGridD->viewport(), Qt::LeftButton, {},
                          form->strGridD->visualRect(form->strGridD->model()->index(0, 1)).center());
        m_dialogs.answers = {true};
        QTest::mouseClick(form->btnDelete, Qt::LeftButton);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("2 files was deleted from total of 2")));
        QVERIFY(form->ProgressLabel->text().isEmpty());
    }

    void aRemovalCountsAgainstTheModeOfTheSearchThatMadeThePairs()
    {
        TempTree tree;
        for (const char* name : {"d1/a", "d1/b", "d2/a", "d2/b"})
            tree.file(name, 4, 1600000000);
        auto form = openWindow();
        QVERIFY(form);
        form->setLocations(QString::fromStdString(tree.root()), QString());
        QTest::mouseClick(form->Buttonfind, Qt::LeftButton);
        QCOMPARE(form->lbTotalFiles1->text(), QStringLiteral("Total files in directory shown below  : 4"));

        QTest::keyClicks(form->edtStartDir2, QStringLiteral("x")); // two-location mode from now on
        QVERIFY(form->btnDelete->isEnabled());
        m_dialogs.answers = {true};
        QTest::mouseClick(form->btnDelete, Qt::LeftButton);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("2 files was deleted from total of 2")));
        QCOMPARE(form->lbTotalFiles1->text(), QStringLiteral("Total files in directory shown below  : 2"));
        QCOMPARE(form->lbTotalfiles2->text(), QStringLiteral("Total files in directory shown below : 0"));
    }

    void afterASearchTheKeyboardIsBackOnTheSearchButton()
    {
        TempTree tree;
        tree.file("one/a", 3, 1600000000);
        tree.file("two/a", 3, 1600000000);
        auto form = openWindow();
        QVERIFY(form);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->setLocations(QString::fromStdString(tree.path("one")), QString::fromStdString(tree.path("two")));

        form->edtStartDir2->setFocus();
        QTest::keyClick(form->edtStartDir2, Qt::Key_Return);
        QCOMPARE(form->Labelcount1->text(), QStringLiteral("Doublicates found: 1"));
        QCOMPARE(QApplication::focusWidget(), form->Buttonfind);

        form->session().pairs().clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // searches again, unticks nothing
        QCOMPARE(form->session().pairs().size(), std::size_t(1));
        QVERIFY(form->chkDate->isChecked() && form->chkSize->isChecked());
        QCOMPARE(QApplication::focusWidget(), form->Buttonfind);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // still the bulk removal's key
        QCOMPARE(m_dialogs.questions, QStringList(QStringLiteral("Are you sure you want to delete all files?")));
    }

    void atItsMinimumSizeNoControlIsCutOffOrCovered()
    {
        auto form = openWindow();
        QVERIFY(form);
        // Every control that can show, with the longest texts it can show.
        form->chksafety->click();
        form->btnDelDir1->show();
        form->btnDelDir2->show();
        form->Labelcount1->setText(QStringLiteral("Duplicate Files Found: 2147483647"));
        form->lbTotalFiles1->setText(QStringLiteral("Total files in directory shown below  : 2147483647"));
        form->lbTotalfiles2->setText(QStringLiteral("Total files in directory shown below : 2147483647"));
        form->ProgressLabel->setText(QStringLiteral("Loading duplicates in the table ..."));
        form->ProgressCounter->setText(QStringLiteral("9999999"));

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
                if (auto* button = qobject_cast<QPushButton*>(control)) // the style's minimum is no text's need
                    needed = button->fontMetrics().horizontalAdvance(button->text()) + 8;
                else if (qobject_cast<QLineEdit*>(control))
                    needed = 100;
                QVERIFY2(control->width() >= needed, name);
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
            QVERIFY(form->strGridD->viewport()->height() >= 3 * form->strGridD->verticalHeader()->defaultSectionSize());
        }
        QCOMPARE(form->centralWidget()->minimumWidth(), 1026);
    }

    void folderPickersOpenAtTheDesktopWithNothingChosenAndWriteNothing()
    {
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Desktop/photos")));
        const ScopedEnvironment homeVariable("HOME", home.path().toStdString());
        setDialogs(nullptr); // the real picker
        auto form = openWindow();
        QVERIFY(form);

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
        QTest::mouseClick(form->TntBitBtn1, Qt::LeftButton);
        QVERIFY(checked);
        QCOMPARE(form->edtStartDir1->text(), photos);

        // Without a desktop folder the picker opens at home; cancelled, it changes nothing.
        QVERIFY(QDir(home.filePath(QStringLiteral("Desktop"))).removeRecursively());
        QString openedAt;
        whenPickerOpens(form.get(), [&](FolderPicker& picker) { openedAt = picker.startFolder(); });
        QTest::mouseClick(form->TntBitBtn2, Qt::LeftButton);
        QCOMPARE(openedAt, home.path());
        QVERIFY(form->edtStartDir2->text().isEmpty());

        const QDir config(qEnvironmentVariable("XDG_CONFIG_HOME"));
        QVERIFY2(!config.exists(QStringLiteral("QtProject.conf")), "the picker kept a history");
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
        form->edtStartDir1->setText(QString::fromStdString(tree.root()));
        QTest::mouseClick(form->Buttonfind, Qt::LeftButton);
        QCOMPARE(m_dialogs.errors.size(), 2);
        QCOMPARE(m_dialogs.errors.last(), QStringLiteral("listing exploded"));
        QVERIFY(form->Buttonfind->isEnabled());
        QVERIFY(!form->btnCancel->isEnabled());
        QVERIFY(form->edtStartDir1->isEnabled());
        QVERIFY(!form->session().searching());
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
