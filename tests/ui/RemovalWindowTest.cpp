// The removal commands driven through the main window and the detailed view, on real temporary trees.
#include "core/FileRecord.h"
#include "core/Platform.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/SeamFileSystem.h"
#include "tests/support/TempTree.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/MainWindowControls.h"
#include "ui/Application.h"
#include "ui/ColumnWidths.h"
#include "ui/MainWindow.h"
#include "ui/PairDetailsDialog.h"
#include "ui/ResultsModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <functional>
#include <memory>
#include <stdexcept>

using namespace twinspotter;
using twinspotter::test::caption;
using twinspotter::test::child;
using twinspotter::test::FakeDialogs;
using twinspotter::test::LocalTime;
using twinspotter::test::MainWindowControls;
using twinspotter::test::SeamFileSystem;
using twinspotter::test::TempTree;

namespace {

const std::time_t kWhen = LocalTime(2009, 7, 15, 14, 30, 22);

bool exists(const std::string& path)
{
    return QFile::exists(QString::fromStdString(path));
}

QString gridText(const PairDetailsDialog& view, int row, int column)
{
    const QTableWidgetItem* item = child<QTableWidget>(view, "strGridDel")->item(row, column);
    return item ? item->text() : QString();
}

// Runs \p check on the detailed view as soon as it is up; the view is modal, so this must be armed before the
// double-click that opens it.
void whenDetailedViewOpens(QObject* context, std::function<void(PairDetailsDialog&)> check)
{
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, check] {
        if (auto* view = qobject_cast<PairDetailsDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            check(*view);
            // A failed check returns early: the view must still close, or the test would wait for ever.
            if (view->isVisible())
                view->reject();
        }
    });
    poll->start(5);
}

} // namespace

class RemovalWindowTest : public QObject
{
    Q_OBJECT

private:
    FakeDialogs m_dialogs;
    std::vector<QUrl> m_opened;

    std::unique_ptr<MainWindow> openWindow(FileSystem& fs = realFileSystem())
    {
        auto form = std::make_unique<MainWindow>(fs);
        new QAbstractItemModelTester(MainWindowControls(*form).resultsTable->model(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest, form.get());
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            return nullptr;
        return form;
    }

    // Searches location 1 against location 2 (or alone when \p location2 is empty).
    static void search(MainWindow& window, const std::string& location1, const std::string& location2)
    {
        const MainWindowControls ui(window);
        ui.location1Edit->setText(QString::fromStdString(location1));
        ui.location2Edit->setText(QString::fromStdString(location2));
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);
    }

    static void selectRows(MainWindow& window, int top, int bottom)
    {
        QTableView* table = MainWindowControls(window).resultsTable;
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(top, 1)).center());
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          table->visualRect(table->model()->index(bottom, 1)).center());
    }

    // A double-click counts only on the row its first press went to, as with a real mouse.
    static void doubleClickCell(QAbstractItemView* table, int row)
    {
        const QPoint centre = table->visualRect(table->model()->index(row, 1)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, centre);
    }

    static void doubleClickRow(MainWindow& window, int row)
    {
        doubleClickCell(MainWindowControls(window).resultsTable, row);
    }

private slots:
    void init()
    {
        m_dialogs = FakeDialogs();
        setDialogs(&m_dialogs);
        m_opened.clear();
        PairDetailsDialog::setFileOpener([this](const QUrl& url) { m_opened.push_back(url); });
    }
    void cleanup()
    {
        setDialogs(nullptr);
        PairDetailsDialog::setFileOpener(nullptr);
    }

    void sizeTextIsPlainDecimalKilobytes()
    {
        const QString point = QLocale::system().decimalPoint();
        QCOMPARE(sizeText(0), QStringLiteral("0 Kb"));
        QCOMPARE(sizeText(1), "0" + point + "0009765625 Kb");
        QCOMPARE(sizeText(1000), "0" + point + "9765625 Kb");
        QCOMPARE(sizeText(1536), "1" + point + "5 Kb");
        QCOMPARE(sizeText(2048), QStringLiteral("2 Kb"));
        QCOMPARE(sizeText(std::int64_t(5) << 40), QStringLiteral("5368709120 Kb"));
        // 120563270519.868164... keeps 15 significant digits, with no thousands separator or exponent.
        QCOMPARE(sizeText(123456789012345), "120563270519" + point + "868 Kb");
        QCOMPARE(sizeText(3), "0" + point + "0029296875 Kb");
    }

    void dateTextIsShortDateAndLongTimeOrTheDateAloneAtMidnight()
    {
        const QString date = QLocale::system().toString(QDate(2009, 7, 15), QLocale::ShortFormat);
        // The tests run under the C locale, whose long time format is "%H:%M:%S".
        QCOMPARE(dateText(packDosDateTime(2009, 7, 15, 14, 30, 22)), date + QStringLiteral(" 14:30:22"));
        QCOMPARE(dateText(packDosDateTime(2009, 7, 15, 0, 0, 0)), date);
        QCOMPARE(dateText(packDosDateTime(2009, 7, 15, 0, 0, 2)), date + QStringLiteral(" 00:00:02"));
    }

    void bulkRemovalAsksOnButtonAndEscapeThenRemovesLocation2Copies()
    {
        TempTree tree;
        for (const char* name : {"a.txt", "b.txt"}) {
            tree.file(std::string("one/") + name, 10, kWhen);
            tree.file(std::string("two/") + name, 10, kWhen);
        }
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 2);
        QVERIFY(ui.removeAllButton->isEnabled());

        QTest::mouseClick(ui.removeAllButton, Qt::LeftButton); // No
        ui.resultsTable->setFocus();
        QTest::keyClick(ui.resultsTable, Qt::Key_Escape, Qt::ShiftModifier); // not the cancel key
        QTest::keyClick(ui.resultsTable, Qt::Key_Escape);                    // No again
        QCOMPARE(m_dialogs.questions, QStringList(2, QStringLiteral("Are you sure you want to delete all files?")));
        QVERIFY(exists(tree.path("two/a.txt")) && exists(tree.path("two/b.txt")));
        QVERIFY(ui.removeAllButton->isEnabled());
        QCOMPARE(ui.resultsTable->model()->rowCount(), 2);

        m_dialogs.answers = {true};
        QTest::keyClick(ui.resultsTable, Qt::Key_Escape);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("2 files was deleted from total of 2")));
        QVERIFY(!exists(tree.path("two/a.txt")) && !exists(tree.path("two/b.txt")));
        QVERIFY(exists(tree.path("one/a.txt")) && exists(tree.path("one/b.txt")));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 1);
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Duplicate Files Found: 0"));
        QCOMPARE(ui.location2CountLabel->text(), QStringLiteral("Total files in directory shown below : 0"));
        QVERIFY(!ui.removeAllButton->isEnabled());
        QVERIFY(ui.searchButton->isEnabled() && ui.location1Edit->isEnabled());

        // Disabled, the button ignores Escape.
        QTest::keyClick(ui.resultsTable, Qt::Key_Escape);
        QCOMPARE(m_dialogs.questions.size(), 3);
    }

    void safetyOptionFillsTheDefaultKeepsABrowsedDirectoryAndMovesFilesThere()
    {
        TempTree tree;
        tree.file("one/photos/a.jpg", 5, kWhen);
        tree.file("two/photos/a.jpg", 5, kWhen);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);

        const QString defaultDir = QDir::toNativeSeparators(QDir::currentPath()) + QLatin1Char(kSeparator) + "Savedir";
        QDir(defaultDir).removeRecursively();
        ui.safetyBox->click();
        QVERIFY(ui.safetyDirectoryEdit->isVisible() && ui.browseSafetyButton->isVisible());
        QCOMPARE(ui.safetyDirectoryEdit->text(), defaultDir);
        QVERIFY(QFileInfo(defaultDir).isDir());

        QTest::mouseClick(ui.browseSafetyButton, Qt::LeftButton); // cancelled
        QCOMPARE(ui.safetyDirectoryEdit->text(), defaultDir);
        const QString browsed = QString::fromStdString(tree.path("safe"));
        m_dialogs.chosenFolders = {browsed};
        QTest::mouseClick(ui.browseSafetyButton, Qt::LeftButton);
        QCOMPARE(m_dialogs.pickerTitles, QStringList(2, QStringLiteral("Source Directory")));
        QCOMPARE(ui.safetyDirectoryEdit->text(), browsed);
        QVERIFY(QFileInfo(browsed).isDir()); // created as the text changed

        ui.safetyBox->click();
        QVERIFY(ui.safetyDirectoryEdit->isHidden() && ui.browseSafetyButton->isHidden());
        ui.safetyBox->click();
        QCOMPARE(ui.safetyDirectoryEdit->text(), browsed);

        // A copy whose place in the safety directory is taken stays, and the window says so after the count.
        tree.file("one/photos/b.jpg", 5, kWhen);
        tree.file("two/photos/b.jpg", 5, kWhen);
        tree.file("safe" + mirroredPart(tree.path("two/photos/b.jpg")), 1);
        search(*form, tree.path("one"), tree.path("two"));
        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeAllButton, Qt::LeftButton);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("1 files was deleted from total of 2")));
        QVERIFY(!exists(tree.path("two/photos/a.jpg")));
        QVERIFY(exists(tree.path("safe") + mirroredPart(tree.path("two/photos/a.jpg"))));
        QVERIFY(exists(tree.path("one/photos/a.jpg")));
        QVERIFY(exists(tree.path("two/photos/b.jpg")));
        QCOMPARE(m_dialogs.keptSummaries, QStringList(QStringLiteral("1 file was not removed:\n1 \u2013 a file of that "
                                                                     "name is already in the safety directory")));
    }

    void sameContentKeepsEqualCopiesAndTheTrashExcludesTheSafetyDirectory()
    {
        TempTree tree;
        tree.file("one/same.txt", 5, kWhen, 's');
        tree.file("two/same.txt", 5, kWhen, 's');
        tree.file("one/other.txt", 5, kWhen, '1');
        tree.file("two/other.txt", 5, kWhen, '2');
#ifndef Q_OS_WIN
        QCOMPARE(mkfifo(tree.path("one/fifo").c_str(), 0644), 0);
        const timespec when[2] = {{kWhen, 0}, { kWhen, 0 }};
        utimensat(AT_FDCWD, tree.path("one/fifo").c_str(), when, 0);
        tree.file("two/fifo", 0, kWhen);
#endif
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        for (QCheckBox* box : {ui.sameContentBox, ui.trashBox}) {
            QVERIFY(!box->isChecked());
            QVERIFY2(!test::textWidthsAreReal() || box->width() >= box->sizeHint().width(),
                     qPrintable(box->text() + " is cut off"));
        }
        ui.sameContentBox->click();
        search(*form, tree.path("one"), tree.path("two"));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 1);
        QCOMPARE(ui.resultsTable->model()->index(0, 1).data().toString(), QStringLiteral("same.txt"));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 1"));
        // A FIFO is a copy of nothing: never listed, so never paired with the empty file of its name.
        QVERIFY(ui.location1CountLabel->text().endsWith(QStringLiteral(" 2")));

#ifdef Q_OS_WIN
        QCOMPARE(caption(ui.trashBox->text()), QStringLiteral("move files to the Recycle Bin instead of deleting"));
#endif
        ui.trashBox->click();
        ui.safetyBox->click();
        QVERIFY(!ui.trashBox->isChecked());
        ui.trashBox->click();
        QVERIFY(!ui.safetyBox->isChecked() && ui.safetyDirectoryEdit->isHidden());
#ifdef Q_OS_WIN
        qInfo("Windows: the move into the Recycle Bin is left out; Wine has no recycling shell operation");
#else
        const test::ScopedEnvironment data("XDG_DATA_HOME", tree.path("data"));
        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeAllButton, Qt::LeftButton);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("1 files was deleted from total of 1")));
        QVERIFY(exists(tree.path("data/Trash/files/same.txt")) && !exists(tree.path("two/same.txt")));
#endif
    }

    void deleteSelectedFromDirectory1RemovesAFileSharedByThreeRowsOnce()
    {
        TempTree tree;
        tree.file("one/a.txt", 7, kWhen);
        for (const char* sub : {"x", "y", "z"})
            tree.file(std::string("two/") + sub + "/a.txt", 7, kWhen);
        tree.file("one/keep.txt", 3, kWhen);
        tree.file("two/keep.txt", 3, kWhen);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 4);
        // The three rows of one/a.txt, wherever the search put them, are the rows not naming keep.txt.
        int first = -1;
        for (int row = 0; row < 4 && first < 0; ++row)
            if (ui.resultsTable->model()->index(row, 1).data().toString() == QStringLiteral("a.txt"))
                first = row;
        QVERIFY(first >= 0);
        selectRows(*form, first, first + 2);
        QVERIFY(ui.removeSelected1Button->isVisible() && ui.removeSelected2Button->isVisible());
        QVERIFY(!ui.removeAllButton->isEnabled());

        QTest::mouseClick(ui.removeSelected1Button, Qt::LeftButton); // No
        QCOMPARE(m_dialogs.questions, QStringList(QStringLiteral("Are you sure you want to delete these files?")));
        QVERIFY(exists(tree.path("one/a.txt")));
        QCOMPARE(ui.resultsTable->selectionModel()->selectedRows().size(), 3);
        QVERIFY(ui.removeSelected1Button->isVisible());

        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeSelected1Button, Qt::LeftButton);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("1 files was deleted from total of 3")));
        QVERIFY(!exists(tree.path("one/a.txt")));
        for (const char* sub : {"x", "y", "z"})
            QVERIFY(exists(tree.path(std::string("two/") + sub + "/a.txt")));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 1);
        QCOMPARE(ui.resultsTable->model()->index(0, 1).data().toString(), QStringLiteral("keep.txt"));
        QCOMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in directory shown below  : 1"));
        QVERIFY(!ui.removeAllButton->isEnabled());
        // The rebuild cleared the selection: nothing is left for the selected-rows buttons to act on.
        QVERIFY(!ui.removeSelected1Button->isEnabled() && !ui.removeSelected2Button->isEnabled());
        QTest::mouseClick(ui.removeSelected2Button, Qt::LeftButton);
        QCOMPARE(m_dialogs.questions.size(), 2);
    }

    void rowNumbersAndTheDetailedViewsSizeAndDateReadWhole()
    {
        TempTree tree;
        for (int i = 0; i < 1001; ++i)
            for (const char* dir : {"a/", "b/"})
                tree.file(dir + std::to_string(i), 1, kWhen);
        // A long size, and one whose width in pixels lies a fraction above a whole number.
        for (const char* dir : {"a/", "b/"}) {
            tree.file(dir + std::string("big.bin"), 2282521, kWhen);
            tree.file(dir + std::string("odd.bin"), 5990, kWhen);
        }
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.root(), std::string());
        QTableView* table = ui.resultsTable;
        QCOMPARE(table->model()->rowCount(), 1003);

        // Qt's own measure of what a cell needs, the grid line included.
        const auto fits = [](QAbstractItemView* view, const QModelIndex& index, int width) {
            QStyleOptionViewItem option;
            option.initFrom(view->viewport());
            option.widget = view;
            option.font = view->font();
            return view->itemDelegate()->sizeHint(option, index).width() + 1 <= width;
        };
        QVERIFY(fits(table, table->model()->index(1001, 0), table->columnWidth(0)));
        // The rule still shares out the same total among the four columns.
        const std::array<int, 4> rule = columnWidthsForWindowWidth(form->frameGeometry().width());
        QCOMPARE(table->columnWidth(0) + table->columnWidth(1) + table->columnWidth(2) + table->columnWidth(3),
                 rule[0] + rule[1] + rule[2] + rule[3]);

        const auto rowOf = [table](const QString& name) {
            int row = 0;
            while (table->model()->index(row, 1).data().toString() != name)
                ++row;
            return row;
        };
        for (const auto& [name, size] :
             {std::pair{"big.bin", "2229.0244140625 Kb"}, std::pair{"odd.bin", "5.849609375 Kb"}}) {
            bool checked = false;
            whenDetailedViewOpens(form.get(), [&](PairDetailsDialog& view) {
                checked = true;
                QTableWidget* grid = child<QTableWidget>(view, "strGridDel");
                QCOMPARE(grid->item(0, 2)->text(),
                         QString::fromLatin1(size).replace('.', QLocale::system().decimalPoint()));
                for (int row : {0, 1})
                    for (int column : {2, 3})
                        QVERIFY(fits(grid, grid->model()->index(row, column), grid->columnWidth(column)));
                QCOMPARE(grid->columnWidth(0) + grid->columnWidth(1) + grid->columnWidth(2) + grid->columnWidth(3),
                         37 + 488 + 93 + 136);
            });
            doubleClickRow(*form, rowOf(QString::fromLatin1(name)));
            QVERIFY(checked);
        }
    }

    void aRemovalThatFindsItsFileGoneSaysSo()
    {
        TempTree tree;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            tree.file(std::string("one/") + name, 3, kWhen);
            tree.file(std::string("two/") + name, 3, kWhen);
        }
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));
        const auto rowOf = [&](const QString& name) {
            for (int row = 0; row < ui.resultsTable->model()->rowCount(); ++row)
                if (ui.resultsTable->model()->index(row, 1).data().toString() == name)
                    return row;
            return -1;
        };
        const QString gone = QStringLiteral("1 file was not removed:\n1 \u2013 it is no longer there");

        // Something else removed the copy while the table showed it: the detailed view says so before it closes.
        QFile::remove(QString::fromStdString(tree.path("two/a.txt")));
        whenDetailedViewOpens(form.get(), [](PairDetailsDialog& view) {
            child<QTableWidget>(view, "strGridDel")->setCurrentCell(1, 0);
            QTest::mouseClick(child<QPushButton>(view, "btnDelete"), Qt::LeftButton);
        });
        m_dialogs.answers = {true};
        doubleClickRow(*form, rowOf(QStringLiteral("a.txt")));
        QCOMPARE(m_dialogs.keptSummaries, QStringList(gone));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 2);

        QFile::remove(QString::fromStdString(tree.path("two/b.txt")));
        selectRows(*form, 0, 1);
        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeSelected2Button, Qt::LeftButton);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("1 files was deleted from total of 2")));
        QCOMPARE(m_dialogs.keptSummaries, QStringList({gone, gone}));
        QVERIFY(m_dialogs.keptDetails.last().startsWith(QString::fromStdString(tree.path("two/b.txt")) + "\n"));
    }

    void detailedViewShowsThePairAndOpensEitherFile()
    {
        TempTree tree;
        tree.file("one/a.txt", 1536, kWhen);
        tree.file("two/a.txt", 1536, kWhen);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        doubleClickRow(*form, 0); // nothing shown: nothing opens
        search(*form, tree.path("one"), tree.path("two"));

        bool checked = false;
        whenDetailedViewOpens(form.get(), [&](PairDetailsDialog& view) {
            checked = true;
            QCOMPARE(view.windowTitle(), QStringLiteral("Detailed view"));
            QCOMPARE(view.size(), QSize(787, 196));
            QCOMPARE(view.minimumSize(), view.maximumSize());
            QCOMPARE(child<QLabel>(view, "Label1")->text(), QStringLiteral("Choose file to delete"));
            QCOMPARE(child<QPushButton>(view, "btnDelete")->text(), QStringLiteral("&Delete "));
            QCOMPARE(child<QPushButton>(view, "btnClose")->text(), QStringLiteral("&Exit"));
            QCOMPARE(child<QTableWidget>(view, "strGridDel")->columnCount(), 4);
            QStringList header;
            QList<int> widths;
            for (int column = 0; column < 4; ++column) {
                header << child<QTableWidget>(view, "strGridDel")->horizontalHeaderItem(column)->text();
                widths << child<QTableWidget>(view, "strGridDel")->columnWidth(column);
            }
            QCOMPARE(header, QStringList({" Nr", " Files path", " Size", " Date"}));
            if (test::textWidthsAreReal())
                QCOMPARE(widths, QList<int>({37, 488, 93, 136}));
            QCOMPARE(child<QTableWidget>(view, "strGridDel")->selectionBehavior(), QAbstractItemView::SelectRows);
            QCOMPARE(child<QTableWidget>(view, "strGridDel")->currentRow(), 0);
            const QString size = "1" + QLocale::system().decimalPoint() + "5 Kb";
#ifdef Q_OS_WIN
            // Windows dates a file at today's offset from UTC, whatever the offset was on the file's own day. The C
            // library knows no zone by name, so today's offset comes from Windows.
            TIME_ZONE_INFORMATION zone{};
            const DWORD today = ::GetTimeZoneInformation(&zone);
            const LONG bias = zone.Bias + (today == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);
            const QDateTime written = QDateTime::fromSecsSinceEpoch(kWhen, Qt::OffsetFromUTC, -60 * int(bias));
#else
            const QDateTime written = QDateTime::fromSecsSinceEpoch(kWhen);
#endif
            const QString date = QLocale::system().toString(written.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                                 written.time().toString(QStringLiteral("HH:mm:ss"));
            QCOMPARE(gridText(view, 0, 0), QStringLiteral("1"));
            QCOMPARE(gridText(view, 0, 1), QString::fromStdString(tree.path("one/a.txt")));
            QCOMPARE(gridText(view, 1, 0), QStringLiteral("2"));
            QCOMPARE(gridText(view, 1, 1), QString::fromStdString(tree.path("two/a.txt")));
            for (int row : {0, 1}) {
                QCOMPARE(gridText(view, row, 2), size);
                QCOMPARE(gridText(view, row, 3), date);
            }

            doubleClickCell(child<QTableWidget>(view, "strGridDel"), 1);
            QTest::mouseDClick(child<QTableWidget>(view, "strGridDel")->horizontalHeader()->viewport(), Qt::LeftButton,
                               {},
                               QPoint(20, child<QTableWidget>(view, "strGridDel")->horizontalHeader()->height() / 2));
            QTest::mouseClick(child<QPushButton>(view, "btnClose"), Qt::LeftButton);
            QCOMPARE(gridText(view, 0, 1), QString()); // emptied as it closed
        });
        doubleClickRow(*form, 0);
        QVERIFY(checked);
        const QUrl location2 = QUrl::fromLocalFile(QString::fromStdString(tree.path("two/a.txt")));
        QCOMPARE(m_opened, (std::vector<QUrl>{location2, location2}));
        QVERIFY(exists(tree.path("one/a.txt")) && exists(tree.path("two/a.txt")));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 1")); // not rebuilt
    }

    void detailedViewDeleteRemovesOnlyOnYesAndKeepsAPairWhoseFileStayed()
    {
        TempTree tree;
        for (const char* name : {"a.txt", "b.txt"}) {
            tree.file(std::string("one/") + name, 4, kWhen);
            tree.file(std::string("two/") + name, 4, kWhen);
        }
        SeamFileSystem fs;
        auto form = openWindow(fs);
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 2);
        const QString firstName = ui.resultsTable->model()->index(0, 1).data().toString();
        const std::string chosen = tree.path("one/") + firstName.toStdString();
        const auto pressDelete = [&](QStringList* rowAfterClick) {
            whenDetailedViewOpens(form.get(), [rowAfterClick](PairDetailsDialog& view) {
                // The row as the click left it, before closing empties the grid.
                QObject::connect(&view, &QDialog::accepted, &view, [&view, rowAfterClick] {
                    *rowAfterClick = QStringList{gridText(view, 0, 0), gridText(view, 0, 1)};
                });
                QTest::mouseClick(child<QPushButton>(view, "btnDelete"), Qt::LeftButton);
            });
            doubleClickRow(*form, 0);
        };

        QStringList row;
        pressDelete(&row); // No
        QCOMPARE(m_dialogs.questions, QStringList(QStringLiteral("Are you sure you want to delete these files?")));
        QVERIFY(exists(chosen));
        QCOMPARE(row.value(0), QStringLiteral("1"));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 2"));

        fs.failDelete.insert(chosen);
        m_dialogs.answers = {true};
        pressDelete(&row);
        QVERIFY(exists(chosen));
        QCOMPARE(row.value(0), QStringLiteral("1"));
        QCOMPARE(ui.pairCountLabel->text(), QStringLiteral("Doublicates found: 2"));
        QCOMPARE(form->session().filesInLocation1(), 2);
        QVERIFY(!form->session().pairs()[form->detailedPair()].deleted);
        // The view says why nothing happened, over itself.
        // On Windows the delete is refused for real: the seam holds the file open without sharing its deletion.
#ifdef Q_OS_WIN
        const QString refused = QStringLiteral("it is open in another program");
#else
        const QString refused = QStringLiteral("Operation not permitted");
#endif
        QCOMPARE(m_dialogs.keptSummaries,
                 QStringList(QStringLiteral("1 file was not removed:\n1 \u2013 it cannot be deleted: ") + refused));
        QVERIFY(m_dialogs.keptDetails.value(0).startsWith(QString::fromStdString(chosen) + QStringLiteral("\n")));

        fs.failDelete.clear();
        m_dialogs.answers = {true};
        pressDelete(&row);
        QVERIFY(!exists(chosen));
        QVERIFY(exists(tree.path("two/") + firstName.toStdString()));
        QCOMPARE(row, QStringList({QString(), QString()}));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 1);
        QVERIFY(ui.resultsTable->model()->index(0, 1).data().toString() != firstName);
        QCOMPARE(ui.location1CountLabel->text(), QStringLiteral("Total files in directory shown below  : 1"));
        QVERIFY(m_dialogs.informed.isEmpty());
    }

    void tabLeavesBothTablesInWindowOrderAndEnterOpensTheRow()
    {
        TempTree tree;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            tree.file(std::string("one/") + name, 3, kWhen);
            tree.file(std::string("two/") + name, 3, kWhen);
        }
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));
        QTableView* table = ui.resultsTable;
        selectRows(*form, 0, 0); // one row: the bulk removal is armed
        // Keys go where the window's focus is; a dialog's focus is its own until the window system activates it.
        const auto tabs = [](QWidget* window, int count, Qt::KeyboardModifiers modifiers) {
            QList<QWidget*> reached;
            for (int i = 0; i < count; ++i) {
                QTest::keyClick(window->focusWidget(), Qt::Key_Tab, modifiers);
                reached << window->focusWidget();
            }
            return reached;
        };
        // Cancel and "Same name" are disabled, the selected-rows buttons hidden.
        const QList<QWidget*> cycle = {ui.browseLocation1Button,
                                       ui.location2Edit,
                                       ui.browseLocation2Button,
                                       ui.searchButton,
                                       ui.sameDateBox,
                                       ui.sameSizeBox,
                                       ui.sameContentBox,
                                       table,
                                       ui.safetyBox,
                                       ui.trashBox,
                                       ui.removeAllButton,
                                       ui.exitButton,
                                       ui.location1Edit};
        ui.location1Edit->setFocus();
        QCOMPARE(tabs(form.get(), int(cycle.size()), {}), cycle);
        QList<QWidget*> backwards(cycle.rbegin() + 1, cycle.rend());
        backwards << ui.location1Edit;
        QCOMPARE(tabs(form.get(), int(backwards.size()), Qt::ShiftModifier), backwards);

        // In the table the arrows move; Enter opens the current row, whose table Tab leaves too.
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Down);
        QCOMPARE(table->currentIndex().row(), 1);
        QStringList inView;
        whenDetailedViewOpens(form.get(), [&](PairDetailsDialog& view) {
            QVERIFY(QTest::qWaitForWindowActive(&view));
            QTest::keyClick(view.focusWidget(), Qt::Key_Down);
            QCOMPARE(child<QTableWidget>(view, "strGridDel")->currentRow(), PairDetailsDialog::kRowLocation2);
            QTest::keyClick(view.focusWidget(), Qt::Key_Return); // opens the file
            inView << view.focusWidget()->objectName();
            for (const QWidget* reached : tabs(&view, 3, {}))
                inView << reached->objectName();
        });
        QTest::keyClick(table, Qt::Key_Return);
        QCOMPARE(form->detailedPair(), form->session().pairIndexOfRow(1));
        QCOMPARE(inView, QStringList({"strGridDel", "btnDelete", "btnClose", "strGridDel"}));
        const FileRecord& pair = form->session().pairs()[form->detailedPair()];
        QCOMPARE(m_opened, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(pair.path2()))});

        // A range selected with the keyboard brings the selected-rows buttons into the cycle.
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Down, Qt::ShiftModifier);
        const QList<QWidget*> bottom = {ui.safetyBox, ui.trashBox, ui.removeSelected1Button, ui.removeSelected2Button,
                                        ui.exitButton};
        QCOMPARE(tabs(form.get(), int(bottom.size()), {}), bottom);
    }

    void aRemovalKeepsTheUsersPlaceAndColumnWidthsAndANewSearchClearsTheCount()
    {
        TempTree tree;
        for (int i = 0; i < 100; ++i) {
            tree.file("one/f" + std::to_string(i), 1, kWhen);
            tree.file("two/f" + std::to_string(i), 1, kWhen);
        }
        SeamFileSystem fs;
        auto form = openWindow(fs);
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));
        QTableView* table = ui.resultsTable;
        const QAbstractItemModel* model = table->model();

        // The user drags the name column's right edge.
        QHeaderView* header = table->horizontalHeader();
        const int ruled = header->sectionSize(1);
        const int edge = header->sectionViewportPosition(1) + ruled - 1;
        const int middle = header->height() / 2;
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, middle));
        QTest::mouseMove(header->viewport(), QPoint(edge + 60, middle));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + 60, middle));
        const int dragged = header->sectionSize(1);
        QVERIFY(dragged > ruled + 30);

        // The user scrolls down to row 41.
        QTRY_VERIFY(table->verticalScrollBar()->maximum() > 40);
        table->verticalScrollBar()->setValue(40);
        QCOMPARE(table->rowAt(0), 40);
        const QString nextKept = model->index(42, 1).data().toString();
        selectRows(*form, 40, 41);
        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeSelected2Button, Qt::LeftButton);
        QCOMPARE(model->rowCount(), 98);
        QCOMPARE(table->rowAt(0), 40);
        QCOMPARE(model->index(40, 1).data().toString(), nextKept);
        QCOMPARE(table->currentIndex().row(), 40);
        QCOMPARE(header->sectionSize(1), dragged);

        // While the next search runs, no count of the last one stands above its emptied table.
        QStringList countsSeen;
        form->session().setWalkThreads(1);
        fs.afterList = [&](const PathString&) { countsSeen << ui.pairCountLabel->text(); };
        QTest::mouseClick(ui.searchButton, Qt::LeftButton);
        QVERIFY(!countsSeen.isEmpty());
        QCOMPARE(countsSeen.filter(QStringLiteral("Found: ")), QStringList());
        QCOMPARE(countsSeen.filter(QStringLiteral("found: ")), QStringList());
        QCOMPARE(header->sectionSize(1), dragged);

        // A new size of the window shares out its width by the rule again.
        form->resize(form->width() + 100, form->height());
        QTRY_VERIFY(header->sectionSize(1) != dragged);
        const std::array<int, 4> rule = columnWidthsForWindowWidth(form->frameGeometry().width());
        QCOMPARE(header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2) + header->sectionSize(3),
                 rule[0] + rule[1] + rule[2] + rule[3]);
    }

    void theNotRemovedDetailsGiveEachPathALineAndGrowWithTheDialog()
    {
        TempTree tree;
        const std::string deep = std::string(120, 'd') + "/";
        for (const char* name : {"a.txt", "b.txt"}) {
            tree.file("one/" + deep + name, 2, kWhen);
            tree.file("two/" + deep + name, 2, kWhen);
        }
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));
        // Something else removes both copies before the bulk removal comes to them.
        const QStringList gone = {QString::fromStdString(tree.path("two/" + deep + "a.txt")),
                                  QString::fromStdString(tree.path("two/" + deep + "b.txt"))};
        for (const QString& path : gone)
            QVERIFY(QFile::remove(path));

        struct RealKeptFiles : FakeDialogs
        {
            void keptFiles(QWidget* parent, const QString& summary, const QString& details) override
            {
                Dialogs::keptFiles(parent, summary, details);
            }
        } dialogs;
        setDialogs(&dialogs);
        dialogs.answers = {true};
        bool checked = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, form.get(), [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll.stop();
            const auto closeBox = qScopeGuard([box] { box->accept(); });
            QCOMPARE(box->objectName(), QStringLiteral("NotRemovedDialog"));
            auto* details = child<QPlainTextEdit>(*box, "NotRemovedDetails");
            QCOMPARE(details->lineWrapMode(), QPlainTextEdit::NoWrap);
            const QStringList lines = details->toPlainText().split(QLatin1Char('\n'));
            for (const QString& path : gone)
                QVERIFY(lines.contains(path));
            QVERIFY(details->viewport()->height() >= 10 * details->fontMetrics().lineSpacing());
            const int height = details->height();
            box->resize(box->width() + 200, box->height() + 200);
            QTRY_COMPARE(details->height(), height + 200);
            checked = true;
        });
        poll.start(5);
        QTest::mouseClick(ui.removeAllButton, Qt::LeftButton);
        QVERIFY(checked);
    }

    void aBulkRemovalNeverReportsAFileItRemovedForAnotherPairAsKept()
    {
        TempTree tree;
        for (const char* name : {"L1/a/x.txt", "L1/b/x.txt", "L2/x.txt"})
            tree.file(name, 6, kWhen);
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("L1"), tree.path("L2"));
        QCOMPARE(ui.resultsTable->model()->rowCount(), 2);

        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeAllButton, Qt::LeftButton);
        QVERIFY(!exists(tree.path("L2/x.txt")));
        QVERIFY(exists(tree.path("L1/a/x.txt")) && exists(tree.path("L1/b/x.txt")));
        QCOMPARE(m_dialogs.informed.size(), 1);
        QCOMPARE(m_dialogs.keptSummaries, QStringList());
        QCOMPARE(form->session().filesInLocation2(), 0);
    }

    void aRemovalThatFailsIsReportedAndLeavesTheBulkButtonOffAndTheWindowFree()
    {
        TempTree tree;
        tree.file("one/a.txt", 2, kWhen);
        tree.file("two/a.txt", 2, kWhen);
        SeamFileSystem fs;
        fs.beforeRemove = [](const PathString&) { throw std::runtime_error("disk on fire"); };
        auto form = openWindow(fs);
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));
        QVERIFY(ui.removeAllButton->isEnabled());

        m_dialogs.answers = {true};
        QTest::mouseClick(ui.removeAllButton, Qt::LeftButton);
        QCOMPARE(m_dialogs.errors, QStringList(QStringLiteral("disk on fire")));
        QVERIFY(m_dialogs.informed.isEmpty());
        QVERIFY(exists(tree.path("two/a.txt")));
        QVERIFY(!ui.removeAllButton->isEnabled());
        QVERIFY(ui.searchButton->isEnabled() && ui.location1Edit->isEnabled());
        QVERIFY(!form->session().busy());
    }

    void closingDuringABulkRemovalWaitsUntilItEnds()
    {
        TempTree tree;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            tree.file(std::string("one/") + name, 2, kWhen);
            tree.file(std::string("two/") + name, 2, kWhen);
        }
        auto form = openWindow();
        QVERIFY(form);
        const MainWindowControls ui(*form);
        search(*form, tree.path("one"), tree.path("two"));

        bool openAfterClose = false;
        bool lockedInside = false;
        QTimer::singleShot(0, form.get(), [&] {
            lockedInside = form->session().removing() && !ui.searchButton->isEnabled() &&
                           !ui.location2Edit->isEnabled() && !ui.removeAllButton->isEnabled();
            form->close();
            openAfterClose = form->isVisible();
        });
        m_dialogs.answers = {true};
        ui.removeAllButton->click();
        QVERIFY(lockedInside);
        QVERIFY(openAfterClose);
        QCOMPARE(m_dialogs.informed, QStringList(QStringLiteral("3 files was deleted from total of 3")));
        QVERIFY(!form->isVisible());
        QVERIFY(!form->session().busy());
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!twinspotter::test::EnterPrivateHome(home))
        return 2;
    // The update prompt at start-up stays quiet: its postponement runs to the end of the century.
    QFile postponed(QStringLiteral("postponed.txt"));
    if (!postponed.open(QIODevice::WriteOnly) || postponed.write("12-31-2099\n") < 0)
        return 2;
    postponed.close();
    TwinspotterApplication app(argc, argv);
    RemovalWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RemovalWindowTest.moc"
