// The main window's controls as a test reaches them: by the object names that tests and accessibility tools know.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QtGlobal>

namespace twinspotter::test {

/// The object of type \p T called \p name below \p parent. A missing one ends the test program: every check after
/// it would only report the same mistake.
template <typename T> T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

/// A caption as it reads on screen: without the '&' that marks its access key.
inline QString caption(const QString& text)
{
    return QString(text).remove(QLatin1Char('&'));
}

/// False where what a text needs in pixels says nothing: Qt's offscreen platform on Windows finds none of the
/// system's fonts and measures with a stand-in about twice as wide. The windows platform measures real ones there.
/// Says once that checks of text widths are left out.
inline bool textWidthsAreReal()
{
#ifdef Q_OS_WIN
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        static const bool told =
            (qInfo("Windows, offscreen platform: the checks that texts fit are left out (no system fonts)"), true);
        (void)told;
        return false;
    }
#endif
    return true;
}

struct MainWindowControls
{
    explicit MainWindowControls(const QObject& window)
        : location1Edit(child<QLineEdit>(window, "edtStartDir1")),
          browseLocation1Button(child<QPushButton>(window, "TntBitBtn1")),
          location2Edit(child<QLineEdit>(window, "edtStartDir2")),
          browseLocation2Button(child<QPushButton>(window, "TntBitBtn2")),
          location1CountLabel(child<QLabel>(window, "lbTotalFiles1")),
          location2CountLabel(child<QLabel>(window, "lbTotalfiles2")),
          pairCountLabel(child<QLabel>(window, "Labelcount1")), phaseLabel(child<QLabel>(window, "ProgressLabel")),
          progressCounter(child<QLabel>(window, "ProgressCounter")),
          searchButton(child<QPushButton>(window, "Buttonfind")), sameNameBox(child<QCheckBox>(window, "chkName")),
          sameDateBox(child<QCheckBox>(window, "chkDate")), sameSizeBox(child<QCheckBox>(window, "chkSize")),
          sameContentBox(child<QCheckBox>(window, "chkContent")), cancelButton(child<QPushButton>(window, "btnCancel")),
          resultsTable(child<QTableView>(window, "strGridD")), safetyBox(child<QCheckBox>(window, "chksafety")),
          safetyDirectoryEdit(child<QLineEdit>(window, "edtSavedir")),
          browseSafetyButton(child<QPushButton>(window, "btnBrowsSaveD")),
          trashBox(child<QCheckBox>(window, "chkTrash")), selectionHint(child<QLabel>(window, "lbUseShift")),
          removeSelected1Button(child<QPushButton>(window, "btnDelDir1")),
          removeSelected2Button(child<QPushButton>(window, "btnDelDir2")),
          removeAllButton(child<QPushButton>(window, "btnDelete")),
          exitButton(child<QPushButton>(window, "TntBitBtn3")), fileMenu(child<QMenu>(window, "File1")),
          exitAction(child<QAction>(window, "Exit1")), aboutMenu(child<QMenu>(window, "About2")),
          aboutAction(child<QAction>(window, "About1")), contactAction(child<QAction>(window, "Contactus1"))
    {
    }

    QLineEdit* location1Edit;
    QPushButton* browseLocation1Button;
    QLineEdit* location2Edit;
    QPushButton* browseLocation2Button;
    QLabel* location1CountLabel;
    QLabel* location2CountLabel;
    QLabel* pairCountLabel;
    QLabel* phaseLabel;
    QLabel* progressCounter;
    QPushButton* searchButton;
    QCheckBox* sameNameBox;
    QCheckBox* sameDateBox;
    QCheckBox* sameSizeBox;
    QCheckBox* sameContentBox;
    QPushButton* cancelButton;
    QTableView* resultsTable;
    QCheckBox* safetyBox;
    QLineEdit* safetyDirectoryEdit;
    QPushButton* browseSafetyButton;
    QCheckBox* trashBox;
    QLabel* selectionHint;
    QPushButton* removeSelected1Button;
    QPushButton* removeSelected2Button;
    QPushButton* removeAllButton;
    QPushButton* exitButton;
    QMenu* fileMenu;
    QAction* exitAction;
    QMenu* aboutMenu;
    QAction* aboutAction;
    QAction* contactAction;
};

} // namespace twinspotter::test
