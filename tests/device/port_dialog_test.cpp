// "Порт прибора" offscreen: the ports it lists come from the test, the choice goes to and
// from the program's private settings of this run.

#include "device/port_dialog.h"
#include "tests/device/pty_support.h"
#include "tests/device/settings_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace device_test {
namespace {

using device::PortChoice;
using device::PortDialog;
using device::PresentPort;

const PresentPort kUsb0{"/dev/ttyUSB0", "ttyUSB0", "USB-Serial Controller", "Prolific", "A1B2"};
const PresentPort kUsb1{"/dev/ttyUSB1", "ttyUSB1", "FT232R USB UART", "FTDI", "FT5Q9"};
const PresentPort kAcm0{"/dev/ttyACM0", "ttyACM0", "", "", ""};

// The ports "present", as the test says, and how often the dialog asked.
struct FakePorts {
    std::vector<PresentPort> ports;
    int asked = 0;

    device::PortLister lister()
    {
        return [this] {
            ++asked;
            return ports;
        };
    }
};

class PortDialogTest : public testing::Test {
protected:
    void SetUp() override { clearSettings(); }
    void TearDown() override { clearSettings(); }

    template <typename T>
    static T* child(const PortDialog& dialog, const char* name)
    {
        auto* found = dialog.findChild<T*>(QLatin1String(name));
        if (!found)
            ADD_FAILURE() << "no " << name;
        return found;
    }

    static std::vector<std::vector<QString>> rowsOf(const PortDialog& dialog)
    {
        std::vector<std::vector<QString>> rows;
        const QTreeWidget* list = child<QTreeWidget>(dialog, "PortList");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            std::vector<QString> row;
            for (int column = 0; column < list->columnCount(); ++column)
                row.push_back(list->topLevelItem(i)->text(column));
            rows.push_back(row);
        }
        return rows;
    }

    static std::vector<std::vector<QString>> rowsFor(const std::vector<PresentPort>& ports)
    {
        std::vector<std::vector<QString>> rows;
        for (const PresentPort& p : ports)
            rows.push_back({p.systemLocation, p.description, p.manufacturer, p.serialNumber});
        return rows;
    }

    static std::vector<QString> itemsOf(const QComboBox* box)
    {
        std::vector<QString> items;
        for (int i = 0; i < box->count(); ++i)
            items.push_back(box->itemText(i));
        return items;
    }

    static QString selectedPort(const PortDialog& dialog)
    {
        const QTreeWidgetItem* item = child<QTreeWidget>(dialog, "PortList")->currentItem();
        return item ? item->text(0) : QString();
    }

    FakePorts present{{kUsb0, kAcm0}};
};

TEST_F(PortDialogTest, ListsThePortsPresentWithTheirDetails)
{
    PortDialog dialog(present.lister());
    EXPECT_EQ(dialog.objectName(), "PortDialog");
    EXPECT_EQ(dialog.windowTitle(), "Порт прибора");

    const auto* list = child<QTreeWidget>(dialog, "PortList");
    const QTreeWidgetItem* header = list->headerItem();
    EXPECT_EQ((std::vector<QString>{header->text(0), header->text(1), header->text(2), header->text(3)}),
              (std::vector<QString>{"Порт", "Описание", "Изготовитель", "Серийный номер"}));
    EXPECT_EQ(rowsOf(dialog), rowsFor(present.ports));
    for (const char* box : {"Com1Box", "Com2Box"})
        EXPECT_EQ(itemsOf(child<QComboBox>(dialog, box)),
                  (std::vector<QString>{kUsb0.systemLocation, kAcm0.systemLocation}))
            << box;
    EXPECT_TRUE(child<QLabel>(dialog, "NoPortsText")->isHidden());

    // Every control a screen reader or an automation tool meets has a name.
    for (const char* name : {"PortList", "Com1Box", "Com2Box", "SearchAllBox"})
        EXPECT_FALSE(child<QWidget>(dialog, name)->accessibleName().isEmpty()) << name;
    EXPECT_EQ(child<QCheckBox>(dialog, "SearchAllBox")->text(), "Искать прибор на всех портах");
}

TEST_F(PortDialogTest, ShowsTheStoredChoiceAndOkStoresTheNewOne)
{
    // Left by an older version of the program, or typed by hand.
    settings::open()->setValue(QStringLiteral("COM1"), QStringLiteral("/dev/ttyUSB0"));

    const std::pair<const char*, std::function<void(PortDialog&)>> ways[] = {
        {"OK button", [](PortDialog& d) {
             child<QDialogButtonBox>(d, "ButtonBox")->button(QDialogButtonBox::Ok)->click();
         }},
        {"Enter", [](PortDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }},
    };
    for (const auto& [way, confirm] : ways) {
        SCOPED_TRACE(way);
        settings::open()->remove(QStringLiteral("COM2"));
        settings::open()->remove(device::kSearchAllPortsKey);
        PortDialog dialog(present.lister());
        dialog.show();
        EXPECT_EQ(dialog.choice(), (PortChoice{"/dev/ttyUSB0", {}, false}));

        // By keyboard: a device typed for COM2, then the check box.
        QLineEdit* com2 = child<QComboBox>(dialog, "Com2Box")->lineEdit();
        QTest::keyClicks(com2, QStringLiteral("/dev/ttyACM0"));
        QTest::keyClick(child<QCheckBox>(dialog, "SearchAllBox"), Qt::Key_Space);
        EXPECT_EQ(settingsSnapshot().count(QStringLiteral("COM2")), 0u) << "written before OK";
        confirm(dialog);

        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(device::readPortChoice(), (PortChoice{"/dev/ttyUSB0", "/dev/ttyACM0", true}));
    }
}

TEST_F(PortDialogTest, CancelStoresNothing)
{
    device::writePortChoice({"/dev/ttyUSB1", {}, false});
    const std::pair<const char*, std::function<void(PortDialog&)>> ways[] = {
        {"Cancel button", [](PortDialog& d) {
             child<QDialogButtonBox>(d, "ButtonBox")->button(QDialogButtonBox::Cancel)->click();
         }},
        {"Escape", [](PortDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"closed", [](PortDialog& d) { d.close(); }},
    };
    for (const auto& [way, leave] : ways) {
        SCOPED_TRACE(way);
        const auto before = settingsSnapshot();
        PortDialog dialog(present.lister());
        dialog.show();
        child<QComboBox>(dialog, "Com1Box")->setEditText(QStringLiteral("/dev/ttyACM0"));
        child<QComboBox>(dialog, "Com2Box")->setCurrentIndex(0);
        child<QCheckBox>(dialog, "SearchAllBox")->setChecked(true);
        leave(dialog);

        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(settingsSnapshot(), before);
    }
}

TEST_F(PortDialogTest, AReusedDialogStartsFromWhatIsStored)
{
    device::writePortChoice({"/dev/ttyUSB1", {}, true});
    PortDialog dialog(present.lister());
    dialog.show();
    child<QComboBox>(dialog, "Com1Box")->setEditText(QStringLiteral("/dev/ttyACM0"));
    child<QCheckBox>(dialog, "SearchAllBox")->setChecked(false);
    dialog.reject();

    device::writePortChoice({{}, "/dev/ttyUSB0", true});
    dialog.show();
    EXPECT_EQ(dialog.choice(), (PortChoice{{}, "/dev/ttyUSB0", true}));
}

TEST_F(PortDialogTest, FollowsAdaptersPluggedInAndOutWhileOpen)
{
    PortDialog dialog(present.lister());
    dialog.show();
    auto* list = child<QTreeWidget>(dialog, "PortList");
    auto* com1 = child<QComboBox>(dialog, "Com1Box");
    list->setCurrentItem(list->topLevelItem(1)); // ttyACM0
    com1->setEditText(QStringLiteral("/dev/serial/by-id/usb-adapter"));

    // Nothing changed: the dialog keeps asking, and keeps its rows as they are.
    const QTreeWidgetItem* row = list->topLevelItem(0);
    const int asked = present.asked;
    ASSERT_TRUE(waitUntil([&] { return present.asked >= asked + 2; }));
    EXPECT_EQ(list->topLevelItem(0), row);

    struct Step {
        const char* name;
        std::vector<PresentPort> ports;
        QString selected; // what stays selected
    };
    const Step steps[] = {
        {"an adapter plugged in", {kUsb0, kUsb1, kAcm0}, kAcm0.systemLocation},
        {"another one pulled", {kUsb1, kAcm0}, kAcm0.systemLocation},
        {"the selected one pulled", {kUsb1}, {}},
        {"all gone", {}, {}},
        {"one back", {kUsb0}, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        present.ports = step.ports;
        ASSERT_TRUE(waitUntil([&] { return rowsOf(dialog) == rowsFor(step.ports); }));
        EXPECT_EQ(selectedPort(dialog), step.selected);
        std::vector<QString> locations;
        for (const PresentPort& p : step.ports)
            locations.push_back(p.systemLocation);
        EXPECT_EQ(itemsOf(com1), locations);
        EXPECT_EQ(itemsOf(child<QComboBox>(dialog, "Com2Box")), locations);
        EXPECT_EQ(child<QLabel>(dialog, "NoPortsText")->isHidden(), !step.ports.empty());
        // The list changed under the user's choice, not the choice itself.
        EXPECT_EQ(dialog.choice().com1, "/dev/serial/by-id/usb-adapter");
    }

    // Hidden, it stops asking.
    dialog.hide();
    const int whenHidden = present.asked;
    spinEventLoop(3 * PortDialog::kPollInterval);
    EXPECT_EQ(present.asked, whenHidden);
}

} // namespace
} // namespace device_test
