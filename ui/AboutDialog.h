// The About box: the About text from the server, the update offer and the link to the maker's web site.
#pragma once

#include <QDialog>

#include <string>

class QGroupBox;
class QLabel;
class QPushButton;
class QTextEdit;

namespace twinspotter {

inline constexpr const char* kRetrievingInfoText = "Retrieving Info .........";
inline constexpr const char* kConnectionFailedText =
    "Internet connection failed!\r\nPlease check your internet connection!";

inline constexpr const char* kCancelledText = "Cancelled.";

/// "<Could not contact " + the server's host name + " site>".
QString couldNotContactText();

/// Text from the server as its boxes show it: escaped by shownText(), line breaks kept.
QString serverText(const std::string& bytes);

/// Its object name and its controls' ("AboutForm", "RichEdit1", "Label35", "BitBtn38", "BitBtn2") are what tests
/// and accessibility tools know them by.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 592;
    static constexpr int kClientHeight = 296;

    explicit AboutDialog(QWidget* parent = nullptr);

    /// Shows the program's name and version and the waiting text and paints them, then probes and fetches the About
    /// text and the version (which goes to latestVersion), within kOpenAboutBudget; offers the update when the
    /// version differs from productVersion. Runs by itself once the dialog is on screen, and again after the dialog's
    /// own error box. A failed fetch propagates to the general error report, leaving the waiting text and the button
    /// hidden. The window answers meanwhile; Exit or closing it ends the wait, with kCancelledText in the box.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The update button's handler, connected through reportingErrors() so that no exception reaches Qt.
    void downloadUpdate();
    /// Blue and underlined while the mouse is over the link, the label's own look otherwise.
    void highlightLink(bool highlighted);

    QGroupBox* m_frame = nullptr;
    QTextEdit* m_aboutText = nullptr;
    QLabel* m_productLabel = nullptr;
    QLabel* m_siteLink = nullptr;
    QPushButton* m_updateButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    bool m_activationQueued = false;
};

} // namespace twinspotter
