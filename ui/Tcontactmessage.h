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

class Tcontactmessage : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 505;
    static constexpr int kClientHeight = 354;

    explicit Tcontactmessage(QWidget* parent = nullptr);

    /// Empties the message and shows the contact text from the server, or the could-not-contact text when the
    /// probe fails. Runs by itself once the dialog is on screen, and again after each message box of "Send".
    /// A failed fetch propagates to the general error report and leaves the previous text.
    void FormActivate();

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QTextEdit* RichEdit1 = nullptr;
    QLabel* Image1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void BitBtn1Click();
    void BitBtn2Click();

private:
    void Edit1Enter();
    void Edit1Exit();

    bool m_activationQueued = false;
};

} // namespace twinspotter
