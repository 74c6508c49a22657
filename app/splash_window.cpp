#include "app/splash_window.h"

#include "app/resources.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>

namespace app {
namespace {

constexpr QSize kWindowSize{400, 77};
// The picture is one pixel taller than the window; its last row is never seen.
constexpr QSize kPictureSize{400, 78};

QPixmap splashPicture(qreal devicePixelRatio)
{
    QPixmap pixmap(kPictureSize * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/kvel/splash.svg"));
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(kPictureSize)));
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
