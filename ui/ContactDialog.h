// The contact dialog: a message and an optional e-mail address for the maker, and a text from the server.
#pragma once

#include <QDialog>
#include <QPixmap>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;

namespace twinspotter {

inline constexpr const char* kEmailPlaceholder = "Put your email here";
inline constexpr const char* kEmptyMessageText = "You should enter a message to send";

/// The maker's logo for the contact dialog (258 by 34 pixels, transparent), drawn here rather than shipped.
QPixmap quillnetLogo();

/// Its object name and its controls' ("contactmessage", "Edit1", "Memo1", "BitBtn1", "RichEdit1", ...) are what tests
/// and accessibility tools know them by.
class ContactDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 505;
    static constexpr int kClientHeight = 354;

    explicit ContactDialog(QWidget* parent = nullptr);

    /// Empties the message and shows the contact text from the server, or the could-not-contact text when the
    /// probe fails, within kOpenContactBudget. Runs by itself once the dialog is on screen. A failed fetch
    /// propagates to the general error report and leaves the previous text. "Send" is enabled only once the probe
    /// has found the internet: offline it could only fail. The window answers meanwhile; Exit or closing it ends
    /// the wait.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The "Send" button's handler, connected through reportingErrors() so that no exception reaches Qt.
    void send();
    /// The waiting text, the probe and the fetch of refresh(), within the action in force.
    void loadContactText();
    /// The placeholder address goes when the user enters the box and comes back when they leave it empty.
    void emailBoxEntered();
    void emailBoxLeft();

    QLabel* m_emailLabel = nullptr;
    QLineEdit* m_emailEdit = nullptr;
    QLabel* m_emailHint = nullptr;
    QLabel* m_messageLabel = nullptr;
    QPlainTextEdit* m_messageEdit = nullptr;
    QPushButton* m_sendButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    QTextEdit* m_contactText = nullptr;
    QLabel* m_logo = nullptr;
    bool m_activationQueued = false;
};

} // namespace twinspotter
