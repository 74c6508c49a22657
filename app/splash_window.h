#pragma once

#include <QDialog>

#include <chrono>

class QTimer;

namespace app {

// The start-up picture: a borderless window that closes itself with Accepted once
// its timer has run out. Start-up shows it modally before the main window appears.
class SplashWindow : public QDialog {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDisplayTime{3000};

    explicit SplashWindow(std::chrono::milliseconds displayTime = kDisplayTime,
                          QWidget* parent = nullptr);

    // The splash goes by its timer only; Escape does not cut it short.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override; // starts the timer

private:
    void closeWhenShownLongEnough();

    QTimer* m_timer = nullptr;
};

} // namespace app
