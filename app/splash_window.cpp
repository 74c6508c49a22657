#include "app/splash_window.h"

#include "app/resources.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace app {
namespace {

constexpr QSize kWindowSize{400, 77};
// The picture is one pixel taller than the window; its last row is never seen.
constexpr QSize kPictureSize{400, 78};

// The picture drawn for plain and for dense screens (twice the pixels).
QPixmap splashPicture(qreal devicePixelRatio)
{
    const bool dense = devicePixelRatio > 1.0;
    QPixmap pixmap(dense ? QStringLiteral(":/kvel/splash@2x.png") : QStringLiteral(":/kvel/splash.png"));
    pixmap.setDevicePixelRatio(qreal(pixmap.width()) / kPictureSize.width());
    return pixmap;
}

} // namespace

SplashWindow::SplashWindow(std::chrono::milliseconds displayTime, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    loadResources();
    setObjectName(QStringLiteral("splashWindow"));
    setAccessibleName(QStringLiteral("ВРТ - ТК5"));
    setFixedSize(kWindowSize);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setAccessibleName(QStringLiteral("ВРТ-ТК5, программа для передачи данных"));
    picture->setGeometry(QRect(QPoint(0, 0), kPictureSize));
    picture->setPixmap(splashPicture(devicePixelRatioF()));

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("splashTimer"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(displayTime);
    connect(m_timer, &QTimer::timeout, this, &SplashWindow::closeWhenShownLongEnough);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void SplashWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_timer->start();
}

void SplashWindow::closeWhenShownLongEnough()
{
    done(QDialog::Accepted);
}

} // namespace app
