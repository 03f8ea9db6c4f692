// The About box: the About text from the server, the update offer and the link to the maker's web site.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class QTextEdit;

namespace twinspotter {

inline constexpr const char* kRetrievingInfoText = "Retrieving Info .........";
inline constexpr const char* kConnectionFailedText =
    "Internet connection failed!\r\nPlease check your internet connection!";

/// "<Could not contact " + the server's host name + " site>".
QString couldNotContactText();

class TAboutForm : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 592;
    static constexpr int kClientHeight = 296;

    explicit TAboutForm(QWidget* parent = nullptr);

    /// Shows the waiting text and paints it, then probes and fetches the About text and the version (which goes
    /// to latestVersion); offers the update when the version differs from productVersion. Runs by itself once the
    /// dialog is on screen, and again after the dialog's own error box. A failed fetch propagates to the general
    /// error report, leaving the waiting text and the button hidden.
    void FormActivate();

    QGroupBox* GroupBox7 = nullptr;
    QTextEdit* RichEdit1 = nullptr;
    QLabel* Label35 = nullptr;
    QPushButton* BitBtn38 = nullptr;
    QPushButton* BitBtn2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void BitBtn38Click();
    void BitBtn2Click();

private:
    void Label35Click();
    void Label35MouseEnter();
    void Label35MouseLeave();

    bool m_activationQueued = false;
};

} // namespace twinspotter
