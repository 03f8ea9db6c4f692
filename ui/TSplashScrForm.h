// The start-up picture: closes after a second, on a click or on a character key.
#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;

namespace twinspotter {

class TSplashScrForm : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 349;

    /// The timer starts counting here, so the picture stays about one second after the program starts.
    explicit TSplashScrForm(QWidget* parent = nullptr);

    QTimer* Timer1 = nullptr;
    QLabel* TntImage1 = nullptr;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void FormActivate();
    void Timer1Timer();
};

} // namespace twinspotter
