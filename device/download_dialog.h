#pragma once

#include "device/download_results.h"
#include "device/download_session.h"
#include "device/port_names.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace device {

class SerialPortDriver;

// The download dialog "Прием данных" (objectName DownloadDialog). Shown modally, it fetches an
// instrument's memory into the program's DownloadResults and ends with ResultOk or
// ResultCancel. It makes no decision of its own: every event goes to the DownloadSession,
// and the dialog carries out the actions that come back. Created once and reused.
class DownloadDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int ResultOk = DownloadSession::ResultOk;
    static constexpr int ResultCancel = DownloadSession::ResultCancel;

    explicit DownloadDialog(DownloadResults& results, QWidget* parent = nullptr);
    ~DownloadDialog() override;

    // Where a download that searches all ports learns which ports are present; the system's
    // list unless replaced. Asked once a download, and only when the search is on.
    void setPortLister(PortLister lister);

    void done(int result) override;
    void reject() override;

signals:
    // A download ended in an error that the user must read ("Прибор не обнаружен! …",
    // "Ошибка передачи данных!", …). Emitted while the dialog is still open and the port
    // already closed; the dialog closes once the receiver returns. Connect it directly and
    // show the text before returning (modally, over this dialog): the dialog shows no
    // message of its own, and unconnected the error is lost.
    void errorOccurred(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void startDownload();
    void receivePortData(SerialPortDriver* sender, const char* data, std::size_t size);
    void portTimedOut();
    void cancelDownload();
    void endSession();
    void run(DownloadSession::Actions actions);
    void centreOnDesktop();

    DownloadSession m_session;
    SerialPortDriver* m_portDriver = nullptr;
    QTimer* m_timer = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_deviceValue = nullptr;
    QLabel* m_versionValue = nullptr;
    QLabel* m_countValue = nullptr;
    QLabel* m_portText = nullptr; // the port being tried
    PortLister m_portLister = presentPorts;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace device
