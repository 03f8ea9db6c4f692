// Every message box, confirmation and folder picker of the window goes through here, so tests can answer them.
#pragma once

#include "core/FileSystem.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QDialogButtonBox;
class QFileSystemModel;
class QTreeView;
class QWidget;

namespace twinspotter {

/// Every box shows its text as plain text, never as markup; a long text is shown shortened (a few lines, each cut to
/// a width), with the whole of it in the box's scrollable details area.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    /// Title "Confirm", question icon, Yes and No; only Yes gives true.
    virtual bool confirm(QWidget* parent, const QString& question);
    /// The confirmation style with a single OK button.
    virtual void inform(QWidget* parent, const QString& message);
    /// A plain box with an OK button and no icon.
    virtual void message(QWidget* parent, const QString& text, const QString& title = QString());
    /// What a removal left behind: \p summary (how many files and why) with \p details (each file and its reason)
    /// in the box's details area; both shown as plain text.
    virtual void keptFiles(QWidget* parent, const QString& summary, const QString& details);
    /// The general error report: the text of an error that escaped a command.
    virtual void error(QWidget* parent, const QString& text);
    /// The platform's folder picker titled \p title (a FolderPicker on Linux); an empty text when the user cancels.
    virtual QString chooseDirectory(QWidget* parent, const QString& title);
};

/// Where the folder picker opens: the user's desktop folder, or the home folder when there is none.
QString pickerStartFolder();

/// The folder picker: the file system's folders as a tree, opened at pickerStartFolder() with nothing chosen and
/// no way to make, rename or delete a folder. Unlike Qt's file dialog, it keeps no history and writes nothing.
class FolderPicker : public QDialog
{
    Q_OBJECT

public:
    FolderPicker(const QString& title, QWidget* parent = nullptr);

    const QString& startFolder() const { return m_start; }
    /// The chosen folder; empty while none is.
    QString chosenFolder() const;
    QTreeView* folders() const { return m_view; }
    QFileSystemModel* model() const { return m_model; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showStartFolder();

    QFileSystemModel* m_model = nullptr;
    QTreeView* m_view = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QString m_start;
    bool m_followStart = true;
};

/// The dialogs in use: the real boxes unless a test has put its own in place.
Dialogs& dialogs();
/// Replaces the dialogs (not owned); nullptr brings back the real boxes.
void setDialogs(Dialogs* replacement);

/// Tells the user which files a removal command left where they are, and why.
void showKeptFiles(QWidget* parent, const std::vector<KeptFile>& kept);

/// Runs \p activate once \p dialog is on screen, so that what it shows is painted before blocking work starts, with
/// its errors in the general error report; \p queued keeps a second show before then from running it twice.
void activateWhenShown(QWidget* dialog, bool& queued, std::function<void()> activate);

/// Paints \p widget on screen now, because the thread is about to block in a request: waits up to a second for the
/// window system to map a window that was just shown, then repaints. User input waits for the next event loop.
/// Does nothing while the window is hidden.
void paintNow(QWidget* widget);

} // namespace twinspotter
