// Files, folders and shortcuts dropped on the main window, delivered the way the windowing system delivers them.
#include "core/FileRecord.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/TempTree.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/MainWindowControls.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <QCursor>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace twinspotter;
using twinspotter::test::caption;
using twinspotter::test::FakeDialogs;
using twinspotter::test::MainWindowControls;
using twinspotter::test::TempTree;

namespace {

const QString kHint = QStringLiteral("Drag in the edit box location");

QString qt(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QUrl url(const std::string& path)
{
    return QUrl::fromLocalFile(qt(path));
}

// ---- Shell Link (.lnk) files written from the published binary format ------------------------------------------

using Bytes = std::vector<unsigned char>;

void put16(Bytes& b, std::uint16_t v)
{
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}

void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(v >> (8 * i) & 0xFF);
}

/// A link whose LinkInfo names \p localPath; without one, a link that carries only an ID list, as a link to a
/// printer or to the Control Panel does.
Bytes shellLink(const std::string* localPath)
{
    Bytes b;
    put32(b, 0x4C); // HeaderSize
    const unsigned char clsid[] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    b.insert(b.end(), std::begin(clsid), std::end(clsid));
    put32(b, 0x1 | (localPath ? 0x2 : 0) | 0x80); // HasLinkTargetIDList, HasLinkInfo, IsUnicode
    put32(b, 0x10);                               // FILE_ATTRIBUTE_DIRECTORY
    b.resize(0x4C, 0);
    put16(b, 6); // IDList: one opaque item, then the terminal ID
    put16(b, 4);
    put16(b, 0x1F50);
    put16(b, 0);
    if (!localPath)
        return b;

    const std::uint32_t header = 0x1C;
    const std::uint32_t volumeId = header;
    const std::uint32_t volumeIdSize = 0x11;
    const std::uint32_t basePath = volumeId + volumeIdSize;
    const auto suffix = static_cast<std::uint32_t>(basePath + localPath->size() + 1);
    put32(b, suffix + 1); // LinkInfoSize: everything up to the empty CommonPathSuffix
    put32(b, header);
    put32(b, 0x1); // VolumeIDAndLocalBasePath
    put32(b, volumeId);
    put32(b, basePath);
    put32(b, 0); // no CommonNetworkRelativeLink
    put32(b, suffix);
    put32(b, volumeIdSize);
    put32(b, 3); // DRIVE_FIXED
    put32(b, 0x5EED1234);
    put32(b, 0x10); // VolumeLabelOffset: the empty label right after
    b.push_back(0);
    b.insert(b.end(), localPath->begin(), localPath->end());
    b.push_back(0);
    b.push_back(0); // CommonPathSuffix ""
    return b;
}

std::string writeFile(const TempTree& tree, const std::string& name, const std::string& content)
{
    const std::string path = tree.path(name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::string writeFile(const TempTree& tree, const std::string& name, const Bytes& content)
{
    return writeFile(tree, name, std::string(content.begin(), content.end()));
}

// Records the hint's caption and owner as well as its text.
class HintDialogs : public FakeDialogs
{
public:
    QStringList titles;
    QList<QWidget*> owners;

    void message(QWidget* parent, const QString& text, const QString& title) override
    {
        titles << title;
        owners << parent;
        FakeDialogs::message(parent, text, title);
    }
};

} // namespace

class DropTest : public QObject
{
    Q_OBJECT

private:
    HintDialogs m_dialogs;
    std::unique_ptr<MainWindow> m_form;
    int m_hintsInsideDrop = 0;

    /// Drags \p urls over the window and drops them at \p where (a point of \p widget) as the windowing system
    /// would: enter, then drop, both to the window, which hands them to the widget under the point. The cursor
    /// stands at \p cursor (a point of \p widget as well), or at the drop point when none is given. Returns when
    /// the window has also done what it left for after the drop.
    bool drop(QWidget* widget, QPoint where, const QList<QUrl>& urls, std::optional<QPoint> cursor = std::nullopt)
    {
        QCursor::setPos(widget->mapToGlobal(cursor.value_or(where)));
        QMimeData data;
        data.setUrls(urls);
        // File managers offer the addresses as plain text too, which a line edit on its own would insert.
        data.setText(QUrl::toStringList(urls).join(QLatin1Char('\n')));
        const QPointF inWindow = widget->mapTo(m_form.get(), where);
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(inWindow.toPoint(), offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_form->windowHandle(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropEvent(inWindow, offered, &data, Qt::LeftButton, Qt::NoModifier);
        const qsizetype hintsBefore = m_dialogs.messages.size();
        QApplication::sendEvent(m_form->windowHandle(), &dropEvent);
        m_hintsInsideDrop += static_cast<int>(m_dialogs.messages.size() - hintsBefore);
        QCoreApplication::processEvents();
        // Copy, never Move: the file manager must not delete what it offered.
        return dropEvent.isAccepted() && dropEvent.dropAction() == Qt::CopyAction;
    }

    static QPoint middle(const QWidget* widget) { return widget->rect().center(); }
    MainWindowControls ui() const { return MainWindowControls(*m_form); }

private slots:
    void init()
    {
        m_dialogs = HintDialogs();
        m_hintsInsideDrop = 0;
        setDialogs(&m_dialogs);
        m_form = std::make_unique<MainWindow>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    void cleanup()
    {
        m_form.reset();
        setDialogs(nullptr);
    }

    void onlyTheFirstOfSeveralDroppedFoldersIsTaken()
    {
        TempTree tree;
        const std::string first = tree.dir("zeta");
        QVERIFY(drop(ui().location1Edit, middle(ui().location1Edit),
                     {url(first), url(tree.dir("alpha")), url(tree.dir("mid"))}));
        QCOMPARE(ui().location1Edit->text(), qt(first));
        QCOMPARE(ui().location2Edit->text(), QString());
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void shortcutsGiveTheirTargetAndOtherFilesTheirOwnPath()
    {
        TempTree tree;
        const std::string folder = tree.dir("Photos");
        const std::string lnk = writeFile(tree, "Photos.LNK", shellLink(&folder));
        const std::string desktop =
            writeFile(tree, "Photos.desktop", "[Desktop Entry]\nName=Photos\nType=Link\nURL=file://" + folder + "\n");
        const std::string plain = tree.file("notes.txt", 12);
        QLineEdit* box = ui().location1Edit;

        QVERIFY(drop(box, middle(box), {url(lnk)}));
        QCOMPARE(box->text(), qt(folder));
        box->clear();
        QVERIFY(drop(box, middle(box), {url(desktop)}));
        // Windows has no such links: there the file is dropped as itself.
        QCOMPARE(box->text(), qt(kDesktopLinks ? folder : desktop));
        QVERIFY(drop(box, middle(box), {url(plain)}));
        QCOMPARE(box->text(), qt(plain));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void aShortcutWithoutAFileSystemTargetEmptiesTheBox()
    {
        TempTree tree;
        const std::string printer = writeFile(tree, "Printer.lnk", shellLink(nullptr));
        const std::string broken = writeFile(tree, "broken.lnk", "not a link at all");
        const std::string app = writeFile(tree, "gimp.desktop", "[Desktop Entry]\nType=Application\nExec=gimp\n");
        QLineEdit* box = ui().location2Edit;

        for (const std::string& shortcut : {printer, broken, app}) {
            box->setText(QStringLiteral("/was/here"));
            QVERIFY(drop(box, middle(box), {url(shortcut)}));
            QCOMPARE(box->text(), shortcut == app && !kDesktopLinks ? qt(app) : QString());
        }
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void aDropOnAnEmptyLocation2SwitchesToTwoLocations()
    {
        TempTree tree;
        const std::string folder = tree.dir("second");
        QCOMPARE(caption(ui().searchButton->text()), QStringLiteral("Single directory search"));

        // Straight to the line edit, as the window passes it on: the hook still comes first, so the edit inserts
        // nothing of its own at the drop point.
        ui().location2Edit->setText(QStringLiteral("x"));
        ui().location2Edit->clear();
        QVERIFY(m_form->singleDirectory());
        QCursor::setPos(ui().location2Edit->mapToGlobal(QPoint(5, 5)));
        QMimeData data;
        data.setUrls({url(folder)});
        data.setText(url(folder).toString());
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(ui().location2Edit, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(ui().location2Edit, &dropEvent);
        QVERIFY(dropEvent.isAccepted());
        QCoreApplication::processEvents();

        QCOMPARE(ui().location2Edit->text(), qt(folder));
        QCOMPARE(caption(ui().searchButton->text()), QStringLiteral("C h e c k"));
        QVERIFY(!m_form->singleDirectory());
        QVERIFY(ui().removeAllButton->isEnabled());
        QCOMPARE(ui().location1Edit->text(), QString());
    }

    void aDropOutsideBothBoxesOnlyShowsTheHint()
    {
        TempTree tree;
        const std::string folder = tree.dir("somewhere");
        ui().location1Edit->setText(QStringLiteral("/one"));
        auto* bottomPanel = m_form->findChild<QWidget*>(QStringLiteral("BottomPanel"));
        QVERIFY(bottomPanel);

        QVERIFY(drop(ui().resultsTable->viewport(), QPoint(40, 40), {url(folder)}));
        QVERIFY(drop(bottomPanel, QPoint(2, 2), {url(folder)}));
        // The save-directory box is a line edit in the bottom panel: it takes nothing either.
        QVERIFY(drop(ui().safetyDirectoryEdit, middle(ui().safetyDirectoryEdit), {url(folder)}));
        // Where the cursor is counts, not where the drop event says it happened.
        QVERIFY(drop(ui().location2Edit, middle(ui().location2Edit), {url(folder)}, QPoint(5, 200)));

        QCOMPARE(m_dialogs.messages, QStringList(4, kHint));
        // Never from inside the drop: under X11 the file manager would wait for the box to close.
        QCOMPARE(m_hintsInsideDrop, 0);
        QCOMPARE(m_dialogs.titles, QStringList(4, QStringLiteral("Info")));
        QCOMPARE(m_dialogs.owners, QList<QWidget*>(4, nullptr));
        QCOMPARE(ui().location1Edit->text(), QStringLiteral("/one"));
        QCOMPARE(ui().location2Edit->text(), QString());
        QVERIFY(ui().safetyDirectoryEdit->text() != qt(folder));
        QVERIFY(m_form->singleDirectory());
    }

    void aPointOnABorderLineIsOutsideTheBox()
    {
        TempTree tree;
        const std::string folder = tree.dir("edge");
        QLineEdit* box = ui().location1Edit;
        const int w = box->width();
        const int h = box->height();
        const QPoint borders[] = {{0, h / 2}, {w, h / 2}, {w / 2, 0}, {w / 2, h}};

        for (const QPoint& border : borders)
            QVERIFY(drop(box, QPoint(1, 1), {url(folder)}, border));
        QCOMPARE(m_dialogs.messages, QStringList(4, kHint));
        QCOMPARE(box->text(), QString());

        QVERIFY(drop(box, QPoint(1, 1), {url(folder)}, QPoint(w - 1, h - 1)));
        QCOMPARE(box->text(), qt(folder));
        QCOMPARE(m_dialogs.messages.size(), 4);
    }

    void aLongPathArrivesWhole()
    {
        TempTree tree;
        std::string relative = std::string(120, 'a') + "/" + std::string(120, 'b') + "/";
        relative += std::string(300 - tree.root().size() - 1 - relative.size(), 'c');
        const std::string folder = tree.dir(relative);
        QCOMPARE(folder.size(), std::size_t{300});

        QVERIFY(drop(ui().location2Edit, middle(ui().location2Edit), {url(folder)}));
        QCOMPARE(ui().location2Edit->text(), qt(folder));
        QCOMPARE(ui().location2Edit->text().size(), 300);
    }

    void dropsAreRefusedWhileTheBoxesAreLockedByARunningCommand()
    {
        TempTree tree;
        // A running search or removal locks the boxes this way.
        ui().location1Edit->setEnabled(false);
        ui().location2Edit->setEnabled(false);
        QVERIFY(!drop(ui().location2Edit, middle(ui().location2Edit), {url(tree.dir("new"))}));
        QCOMPARE(ui().location2Edit->text(), QString());
        QCOMPARE(caption(ui().searchButton->text()), QStringLiteral("Single directory search"));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void draggedTextIsRefusedAndNeverInserted()
    {
        ui().location1Edit->setText(QStringLiteral("/kept"));
        QCursor::setPos(ui().location1Edit->mapToGlobal(middle(ui().location1Edit)));
        QMimeData data;
        data.setText(QStringLiteral("/some/typed/text"));
        const QPoint inWindow = ui().location1Edit->mapTo(m_form.get(), middle(ui().location1Edit));
        QDragEnterEvent enter(inWindow, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_form->windowHandle(), &enter);
        QVERIFY(!enter.isAccepted());
        QDropEvent dropEvent(inWindow, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_form->windowHandle(), &dropEvent);
        QCoreApplication::processEvents();

        QVERIFY(!dropEvent.isAccepted());
        QCOMPARE(ui().location1Edit->text(), QStringLiteral("/kept"));
        QVERIFY(m_dialogs.messages.isEmpty());
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!twinspotter::test::EnterPrivateHome(home))
        return 2;
    TwinspotterApplication app(argc, argv);
    DropTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DropTest.moc"
