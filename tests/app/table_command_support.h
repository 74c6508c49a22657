#pragma once

// Shared by the tests that drive the table commands through the main window: tables made by
// the test and read back from their files, the serial port setting that points the download
// dialog at the emulator, and an answerer for every modal window a command shows.

#include "store/measurement_table.h"

#include <QColor>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace kvel_test {

// ---- tables made by the test ------------------------------------------------------------------

using Cells = std::vector<std::pair<store::Field, QVariant>>; // double, int or QString values
using Rows = std::vector<Cells>;

// A measurement table holding `rows` in file order; NB_TYPE is 0 unless a row names it.
void writeTable(const QString& path, const Rows& rows);
// A field of record `rec` as the tests compare it: a number in its shortest form ("" when
// empty), a text trimmed.
QString fieldText(const store::MeasurementTable& table, std::uint32_t rec, store::Field field);
// One field of every row of a closed table file, in file order.
QStringList fileColumn(const QString& path, store::Field field);
int physicalRows(const QString& path);

// The device behind "\\.\COMn" for the download dialog.
void pointPort(int number, const QString& devicePath);

// ---- answering the dialogs --------------------------------------------------------------------

// How the test answers one modal window.
struct Answer {
    enum class Kind { File, Button, Colour, Cancel, StopDownload } kind = Kind::Cancel;
    QString file;
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    QColor colour;

    static Answer withFile(const QString& path) { return {Kind::File, path, {}, {}}; }
    static Answer press(QMessageBox::StandardButton b) { return {Kind::Button, {}, b, {}}; }
    static Answer withColour(const QColor& c) { return {Kind::Colour, {}, {}, c}; }
    static Answer cancel() { return {}; }
    // "Отмена" in the download dialog as soon as it comes up.
    static Answer stopDownload() { return {Kind::StopDownload, {}, {}, {}}; }
};

// What a modal window showed.
struct Seen {
    QString name; // objectName of a dialog; "box" for a message box
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString fileName;   // a file dialog: the name it offered when it came up
    QString nameFilter; // and its selected filter
    QColor colour;      // a colour dialog: the colour it started on

    // "saveFileDialog", or "Ошибка: База данных повреждена !" for a message box.
    QString describe() const { return name == QLatin1String("box") ? title + QStringLiteral(": ") + text : name; }
};

// While alive, answers every modal window with the next answer of its list, or cancels it
// when the list is used up. The download dialog runs by itself against the emulator; it is
// answered only when the next answer is stopDownload(). Answers are queued, so that a window
// opened by the answer itself (the save dialog's question about an existing file) is
// answered as well.
class Dialogs : public QObject {
public:
    explicit Dialogs(std::vector<Answer> answers);

    const std::vector<Seen>& seen() const noexcept { return m_seen; }

private:
    void poll();

    QTimer m_timer;
    std::deque<Answer> m_answers;
    std::vector<Seen> m_seen;
    // Windows answered that are still up: one whose answer is on its way comes to the front
    // again when a window it opened (a question) closes, and must not be answered twice.
    std::vector<QPointer<QWidget>> m_answered;
};

} // namespace kvel_test
