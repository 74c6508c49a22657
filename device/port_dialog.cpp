#include "device/port_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace device {

namespace {

constexpr QSize kInitialSize{600, 400};
constexpr int kLocationRole = Qt::UserRole;

enum Column { PortColumn, DescriptionColumn, ManufacturerColumn, SerialColumn, ColumnCount };

QComboBox* deviceBox(const char* objectName, int number, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(objectName));
    box->setEditable(true);
    // What the user types is the device; no typed text joins the list of ports present.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(24);
    const QString com = QStringLiteral("COM%1").arg(number);
    box->setAccessibleName(QStringLiteral("Устройство порта %1").arg(com));
#ifdef Q_OS_WIN
    box->setEnabled(false);
    box->setAccessibleDescription(QStringLiteral("В Windows %1 — порт системы с этим именем").arg(com));
#else
    const QString fallback = comDevice(number, {});
    box->lineEdit()->setPlaceholderText(QStringLiteral("%1 (по умолчанию)").arg(fallback));
    box->setAccessibleDescription(QStringLiteral("Пусто — %1").arg(fallback));
#endif
    return box;
}

} // namespace

PortDialog::PortDialog(QWidget* parent) : PortDialog(PortLister(presentPorts), parent) {}

PortDialog::PortDialog(PortLister lister, QWidget* parent)
    : QDialog(parent), m_lister(lister ? std::move(lister) : PortLister(presentPorts))
{
    setObjectName(QStringLiteral("PortDialog"));
    setWindowTitle(QStringLiteral("Порт прибора"));
    setAccessibleName(windowTitle());

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("PortList"));
    m_list->setAccessibleName(QStringLiteral("Порты компьютера"));
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({QStringLiteral("Порт"), QStringLiteral("Описание"),
                             QStringLiteral("Изготовитель"), QStringLiteral("Серийный номер")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* listLabel = new QLabel(QStringLiteral("&Порты компьютера:"), this);
    listLabel->setBuddy(m_list);

    m_noPorts = new QLabel(QStringLiteral("Последовательные порты не найдены."), this);
    m_noPorts->setObjectName(QStringLiteral("NoPortsText"));
    m_noPorts->hide();

    m_com1 = deviceBox("Com1Box", 1, this);
    m_com2 = deviceBox("Com2Box", 2, this);
    auto* devices = new QFormLayout;
    devices->addRow(QStringLiteral("COM&1:"), m_com1);
    devices->addRow(QStringLiteral("COM&2:"), m_com2);
#ifdef Q_OS_WIN
    auto* note = new QLabel(QStringLiteral("В Windows COM1 и COM2 — порты системы с этими именами."), this);
#else
    auto* note = new QLabel(QStringLiteral("Пустое поле — встроенный порт по умолчанию."), this);
#endif
    note->setObjectName(QStringLiteral("DeviceNote"));
    note->setWordWrap(true);

    m_searchAll = new QCheckBox(QStringLiteral("Искать прибор на всех портах"), this);
    m_searchAll->setObjectName(QStringLiteral("SearchAllBox"));
    m_searchAll->setAccessibleName(m_searchAll->text());
    m_searchAll->setToolTip(QStringLiteral(
        "После COM1 и COM2 прием данных опрашивает все остальные порты компьютера, по три секунды на порт."));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("ButtonBox"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PortDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listLabel);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_noPorts);
    layout->addLayout(devices);
    layout->addWidget(note);
    layout->addWidget(m_searchAll);
    layout->addWidget(buttons);

    m_poll = new QTimer(this);
    m_poll->setObjectName(QStringLiteral("PortPoll"));
    m_poll->setInterval(kPollInterval);
    connect(m_poll, &QTimer::timeout, this, &PortDialog::refreshPorts);

    resize(kInitialSize);
    loadChoice();
    refreshPorts();
}

PortDialog::~PortDialog() = default;

PortChoice PortDialog::choice() const
{
    return {m_com1->currentText().trimmed(), m_com2->currentText().trimmed(),
            m_searchAll->isChecked()};
}

void PortDialog::accept()
{
    writePortChoice(choice());
    QDialog::accept();
}

void PortDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        // A new showing starts from what is stored: what a cancelled one showed is gone.
        loadChoice();
        refreshPorts();
    }
    m_poll->start();
}

void PortDialog::hideEvent(QHideEvent* event)
{
    m_poll->stop();
    QDialog::hideEvent(event);
}

void PortDialog::loadChoice()
{
    const PortChoice stored = readPortChoice();
    m_com1->setEditText(stored.com1);
    m_com2->setEditText(stored.com2);
    m_searchAll->setChecked(stored.searchAllPorts);
}

void PortDialog::refreshPorts()
{
    std::vector<PresentPort> ports = m_lister();
    if (m_listed && ports == m_ports)
        return;
    m_ports = std::move(ports);
    m_listed = true;
    showPorts();
}

void PortDialog::showPorts()
{
    const QTreeWidgetItem* current = m_list->currentItem();
    const QString selected = current ? current->data(PortColumn, kLocationRole).toString() : QString();
    const PortChoice shownChoice = choice();

    m_list->clear();
    QTreeWidgetItem* reselect = nullptr;
    for (const PresentPort& port : m_ports) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(PortColumn, portDisplayName(port.systemLocation, shownChoice));
        item->setText(DescriptionColumn, port.description);
        item->setText(ManufacturerColumn, port.manufacturer);
        item->setText(SerialColumn, port.serialNumber);
        item->setData(PortColumn, kLocationRole, port.systemLocation);
        item->setToolTip(PortColumn, port.systemLocation);
        if (!selected.isEmpty() && port.systemLocation == selected)
            reselect = item;
    }
    if (reselect)
        m_list->setCurrentItem(reselect);
    m_noPorts->setVisible(m_ports.empty());

    fillDeviceBox(m_com1);
    fillDeviceBox(m_com2);
}

void PortDialog::fillDeviceBox(QComboBox* box)
{
    // The choice is the text; the items only offer the ports present. Refilling them must
    // not change what the user typed or chose.
    const QString text = box->currentText();
    const QSignalBlocker quiet(box);
    box->clear();
    for (const PresentPort& port : m_ports) {
        box->addItem(port.systemLocation);
        if (!port.description.isEmpty())
            box->setItemData(box->count() - 1, port.description, Qt::ToolTipRole);
    }
    box->setCurrentIndex(box->findText(text));
    box->setEditText(text);
}

} // namespace device
