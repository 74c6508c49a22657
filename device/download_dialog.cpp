#include "device/download_dialog.h"

#include "device/serial_port_driver.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QVarLengthArray>

namespace device {

namespace {

constexpr QSize kClientSize{490, 245};
constexpr int kStatusPixelSize = 16;
// The driver's buffers: a poll at 9600 baud brings about 50 characters, so 4096 leaves room
// for any delay of the event loop.
constexpr std::uint32_t kPortBufSize = 4096;
// Before the port being tried, beside the button.
const QString kPortPrefix = QStringLiteral("Порт: ");

QLabel* rowLabel(const char* objectName, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    return label;
}

QLabel* valueLabel(const char* objectName, const QString& accessibleName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    label->setAccessibleName(accessibleName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

DownloadDialog::DownloadDialog(DownloadResults& results, QWidget* parent)
    // A fixed dialog with a title but no system menu and no close box: the only way out is
    // "Отмена" (Escape does the same).
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      m_session(results)
{
    setObjectName(QStringLiteral("DownloadDialog"));
    setWindowTitle(QStringLiteral("Прием данных"));
    setModal(true);
    setFixedSize(kClientSize);

    m_portDriver = new SerialPortDriver(this);
    m_portDriver->setObjectName(QStringLiteral("DownloadPort"));
    m_portDriver->setPort(PortId::Custom);
    m_portDriver->setPortName(DownloadSession::kCom1);
    m_portDriver->setStopBits(StopBitsKind::Two);
    m_portDriver->setInBufSize(kPortBufSize);
    m_portDriver->setOutBufSize(kPortBufSize);
    m_portDriver->setEnableDTROnOpen(false);
    m_portDriver->setOnReceiveData([this](SerialPortDriver* sender, const char* data, std::size_t size) {
        receivePortData(sender, data, size);
    });

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("DownloadTimer"));
    // The port time-out is a promise to the user ("three seconds a port"); a coarse timer
    // may run it short by 5 %.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &DownloadDialog::portTimedOut);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusText"));
    QFont statusFont = m_status->font();
    statusFont.setBold(true);
    statusFont.setPixelSize(kStatusPixelSize);
    m_status->setFont(statusFont);
    m_status->setAlignment(Qt::AlignCenter);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("DownloadProgress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setAccessibleName(QStringLiteral("Ход приема"));

    auto* group = new QGroupBox(QStringLiteral("Информация"), this);
    group->setObjectName(QStringLiteral("InfoGroup"));
    auto* rows = new QGridLayout(group);
    rows->addWidget(rowLabel("DeviceLabel", QStringLiteral("Тип прибора:"), group), 0, 0);
    m_deviceValue = valueLabel("DeviceValue", QStringLiteral("Тип прибора"), group);
    rows->addWidget(m_deviceValue, 0, 1);
    rows->addWidget(rowLabel("VersionLabel", QStringLiteral("Версия ПО:"), group), 1, 0);
    m_versionValue = valueLabel("VersionValue", QStringLiteral("Версия ПО"), group);
    rows->addWidget(m_versionValue, 1, 1);
    rows->addWidget(rowLabel("CountLabel", QStringLiteral("Количество записей:"), group), 2, 0);
    m_countValue = valueLabel("CountValue", QStringLiteral("Количество записей"), group);
    rows->addWidget(m_countValue, 2, 1);
    rows->setColumnStretch(1, 1);

    m_cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &DownloadDialog::cancelDownload);

    // Beside the button, the port being tried: with a search over all ports the user sees
    // where the program is looking. A long device path is cut rather than widening the
    // fixed dialog; the tooltip holds it whole.
    m_portText = new QLabel(this);
    m_portText->setObjectName(QStringLiteral("PortText"));
    m_portText->setAccessibleName(QStringLiteral("Порт"));
    m_portText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_portText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_portText, 1);
    buttons->addWidget(m_cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addWidget(group);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

DownloadDialog::~DownloadDialog() = default;

void DownloadDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window shown again after being minimised is no new download.
    if (event->spontaneous())
        return;
    centreOnDesktop();
    startDownload();
}

void DownloadDialog::done(int result)
{
    endSession();
    QDialog::done(result);
}

void DownloadDialog::reject()
{
    // Escape, or the window manager closing the dialog: the user wants out, as with
    // "Отмена". Leaving by QDialog::reject alone would keep the port open.
    if (m_session.active())
        cancelDownload();
    else
        done(ResultCancel);
}

void DownloadDialog::setPortLister(PortLister lister)
{
    m_portLister = lister ? std::move(lister) : PortLister(presentPorts);
}

void DownloadDialog::startDownload()
{
    // The choice is read at every download, as the port mapping is at every open: what the
    // user changed in "Порт прибора" counts from the next download on.
    const PortChoice choice = readPortChoice();
    m_session.setPortSearch(
        portSearch(choice, choice.searchAllPorts ? m_portLister() : std::vector<PresentPort>()));
    run(m_session.start());
}

void DownloadDialog::receivePortData(SerialPortDriver*, const char* data, std::size_t size)
{
    run(m_session.receive(data, size));
}

void DownloadDialog::portTimedOut()
{
    run(m_session.timeout());
}

void DownloadDialog::cancelDownload()
{
    run(m_session.cancel());
}

void DownloadDialog::endSession()
{
    run(m_session.close());
}

void DownloadDialog::run(DownloadSession::Actions actions)
{
    // A copy: the receiver of errorOccurred shows a message box, which runs a nested event
    // loop, and Finish closes the dialog, which asks the session again; the session's own
    // list must be free for that.
    const QVarLengthArray<SessionAction, 16> todo(actions.begin(), actions.end());
    using Kind = SessionAction::Kind;
    for (const SessionAction& action : todo) {
        switch (action.kind) {
        case Kind::SetPortName: {
            m_portDriver->setPortName(action.text);
            const QString port = kPortPrefix + m_session.shownPortName(action.text);
            m_portText->setText(port);
            m_portText->setToolTip(port);
            break;
        }
        case Kind::OpenPort:
            // A port that cannot be opened shows up as silence and ends in the time-out.
            m_portDriver->openPort();
            break;
        case Kind::ClosePort:
            m_portDriver->closePort();
            break;
        case Kind::Send:
            // Likewise a command that cannot be written.
            m_portDriver->writeChar(char(action.value));
            break;
        case Kind::StartTimer:
            m_timer->start(action.value);
            break;
        case Kind::StopTimer:
            m_timer->stop();
            break;
        case Kind::SetCaption:
            setWindowTitle(action.text);
            break;
        case Kind::SetStatus:
            m_status->setText(action.text);
            break;
        case Kind::SetDeviceText:
            m_deviceValue->setText(action.text);
            break;
        case Kind::SetVersionText:
            m_versionValue->setText(action.text);
            break;
        case Kind::SetCountText:
            m_countValue->setText(action.text);
            break;
        case Kind::SetProgress:
            m_progress->setValue(action.value);
            break;
        case Kind::ShowError:
            emit errorOccurred(action.text);
            break;
        case Kind::Finish:
            done(action.value);
            break;
        }
    }
}

void DownloadDialog::centreOnDesktop()
{
    if (const QScreen* desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());
}

} // namespace device
