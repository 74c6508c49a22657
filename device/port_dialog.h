#pragma once

#include "device/port_names.h"

#include <QDialog>

#include <chrono>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QTimer;
class QTreeWidget;

namespace device {

// "Порт прибора" (objectName PortDialog): which devices "\\.\COM1" and "\\.\COM2" stand for,
// and whether a download searches every other port after them. It lists the serial ports
// present, and lists them again while it is open, so that an adapter plugged in shows up.
// OK writes the choice into the settings; Cancel leaves them as they were. The controls are
// filled from the settings each time the dialog is shown, so one object can be reused.
class PortDialog : public QDialog {
    Q_OBJECT
public:
    // How often the list of ports is read again while the dialog is open.
    static constexpr std::chrono::milliseconds kPollInterval{1000};

    explicit PortDialog(QWidget* parent = nullptr);
    // With another source of the ports present than the system (tests).
    explicit PortDialog(PortLister lister, QWidget* parent = nullptr);
    ~PortDialog() override;

    // What the controls say now.
    PortChoice choice() const;

    // Reads the ports present; the list and the choices change only when they did, and the
    // selected port stays selected.
    void refreshPorts();

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void loadChoice();
    void showPorts();
    void fillDeviceBox(QComboBox* box);

    PortLister m_lister;
    std::vector<PresentPort> m_ports;
    bool m_listed = false;

    QTreeWidget* m_list = nullptr;      // PortList
    QLabel* m_noPorts = nullptr;        // NoPortsText
    QComboBox* m_com1 = nullptr;        // Com1Box
    QComboBox* m_com2 = nullptr;        // Com2Box
    QCheckBox* m_searchAll = nullptr;   // SearchAllBox
    QTimer* m_poll = nullptr;           // PortPoll
};

} // namespace device
