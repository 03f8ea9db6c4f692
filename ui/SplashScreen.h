// The start-up picture: closes after a second, on a click or on a character key.
#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;

namespace twinspotter {

/// Its object name and its parts' ("SplashScrForm", "TntImage1", "Timer1") are what tests find them by.
class SplashScreen : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 349;

    /// The timer starts counting here, so the picture stays about one second after the program starts.
    explicit SplashScreen(QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Starts the second again when something stopped it.
    void restartTimer();

    QTimer* m_closeTimer = nullptr;
    QLabel* m_picture = nullptr;
};

} // namespace twinspotter
