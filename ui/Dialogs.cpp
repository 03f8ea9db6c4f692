// The real message boxes and folder picker.
#include "ui/Dialogs.h"

#include "ui/Application.h"
#include "ui/Desktop.h"
#include "ui/KeptFilesDialog.h"
#include "ui/PathText.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace twinspotter {

namespace {

Dialogs* g_replacement = nullptr;

// How long a newly shown window may take to be mapped by the window manager before it is painted regardless.
constexpr qint64 kExposeWaitMs = 1000;

// What a box shows of a long text: a few lines, each cut to a width that fits any screen.
constexpr int kShownLines = 8;
constexpr int kShownLineWidth = 480;

// The first kShownLines lines of text, each elided to kShownLineWidth pixels (or half the screen), with "..." for
// the lines left out; the text itself when it fits.
QString shortenedForBox(const QString& text, const QMessageBox& box)
{
    const QFontMetrics metrics(box.font());
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int width = screen ? std::min(kShownLineWidth, screen->availableGeometry().width() / 2) : kShownLineWidth;
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList shown;
    for (const QString& line : lines) {
        if (shown.size() == kShownLines) {
            shown << QStringLiteral("...");
            break;
        }
        shown << metrics.elidedText(line, Qt::ElideRight, width);
    }
    return shown.join(QLatin1Char('\n'));
}

// Every box shows its text as plain text: a server's reply, a reason phrase or a file name that looks like markup
// must not become a link to a local file or load a local image. A text too long for the box is shortened, and the
// whole of it is in the box's scrollable details area, so that no box grows past the screen.
int execPlain(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
              QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(icon, title, QString(), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    const QString shown = shortenedForBox(text, box);
    box.setText(shown);
    if (shown != text)
        box.setDetailedText(text);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

bool Dialogs::confirm(QWidget* parent, const QString& question)
{
    return execPlain(parent, QMessageBox::Question, QStringLiteral("Confirm"), question,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void Dialogs::inform(QWidget* parent, const QString& message)
{
    execPlain(parent, QMessageBox::Question, QStringLiteral("Confirm"), message, QMessageBox::Ok);
}

void Dialogs::message(QWidget* parent, const QString& text, const QString& title)
{
    execPlain(parent, QMessageBox::NoIcon, title.isEmpty() ? QApplication::applicationName() : title, text,
              QMessageBox::Ok);
}

void Dialogs::keptFiles(QWidget* parent, const QString& summary, const QString& details)
{
    KeptFilesDialog box(summary, details, parent);
    box.exec();
}

void Dialogs::error(QWidget* parent, const QString& text)
{
    execPlain(parent, QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok);
}

QString Dialogs::chooseDirectory(QWidget* parent, const QString& title)
{
    return desktop::chooseFolder(parent, title);
}

QString pickerStartFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return !desktop.isEmpty() && QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

FolderPicker::FolderPicker(const QString& title, QWidget* parent) : QDialog(parent), m_start(pickerStartFolder())
{
    setWindowTitle(title);
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_model->setRootPath(QDir::rootPath());

    m_view = new QTreeView(this);
    m_view->setModel(m_model);
    m_view->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_view->hideColumn(column);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_followStart = false;
        m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!chosenFolder().isEmpty());
    });
    // Folders are listed and sorted in the background, and each new row above the start folder pushes it down: it
    // is brought back to the top, once the view has laid the rows out, until the user scrolls or chooses.
    const auto follow = [this] {
        if (m_followStart)
            QTimer::singleShot(0, this, &FolderPicker::showStartFolder);
    };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, follow);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, follow);
    connect(m_view->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { m_followStart = false; });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addWidget(m_buttons);
    resize(520, 440);

    const QModelIndex start = m_model->index(m_start);
    for (QModelIndex folder = start; folder.isValid(); folder = folder.parent())
        m_view->expand(folder);
    // From here on, a folder opened or closed is the user's doing: the view stays where they put it.
    const auto stopFollowing = [this] { m_followStart = false; };
    connect(m_view, &QTreeView::expanded, this, stopFollowing);
    connect(m_view, &QTreeView::collapsed, this, stopFollowing);
}

QString FolderPicker::chosenFolder() const
{
    const QModelIndexList chosen = m_view->selectionModel()->selectedRows();
    return chosen.isEmpty() ? QString() : m_model->filePath(chosen.first());
}

void FolderPicker::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    showStartFolder();
}

void FolderPicker::showStartFolder()
{
    if (m_followStart)
        m_view->scrollTo(m_model->index(m_start), QAbstractItemView::PositionAtTop);
}

Dialogs& dialogs()
{
    static Dialogs real;
    return g_replacement ? *g_replacement : real;
}

void setDialogs(Dialogs* replacement)
{
    g_replacement = replacement;
}

void showKeptFiles(QWidget* parent, const std::vector<KeptFile>& kept)
{
    if (kept.empty())
        return;
    // One line per reason, in the order the reasons were first met, with how many files each kept.
    std::vector<std::pair<QString, int>> reasons;
    QString details;
    for (const KeptFile& file : kept) {
        const QString reason = displayText(file.text());
        auto found = std::find_if(reasons.begin(), reasons.end(), [&](const auto& r) { return r.first == reason; });
        if (found == reasons.end())
            reasons.emplace_back(reason, 1);
        else
            ++found->second;
        details += displayText(file.path) + QStringLiteral("\n    ") + reason + QLatin1Char('\n');
    }
    QString summary = kept.size() == 1 ? QStringLiteral("1 file was not removed:")
                                       : QStringLiteral("%1 files were not removed:").arg(kept.size());
    for (const auto& [reason, count] : reasons)
        summary += QStringLiteral("\n%1 \u2013 %2").arg(count).arg(reason);
    dialogs().keptFiles(parent, summary, details);
}

void activateWhenShown(QWidget* dialog, bool& queued, std::function<void()> activate)
{
    if (queued)
        return;
    queued = true;
    QTimer::singleShot(0, dialog, [dialog, &queued, activate = std::move(activate)] {
        queued = false;
        if (dialog->isVisible())
            runReportingErrors(activate);
    });
}

void paintNow(QWidget* widget)
{
    QWidget* window = widget->window();
    if (!window->isVisible())
        return;
    // Nothing painted before the window manager has mapped a new window reaches the screen.
    const auto exposed = [window] { return window->windowHandle() && window->windowHandle()->isExposed(); };
    QElapsedTimer waited;
    waited.start();
    while (!exposed() && waited.elapsed() < kExposeWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
    widget->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace twinspotter
