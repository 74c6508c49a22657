#pragma once

#include "document/limits.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;

namespace app {

// "Нормативы": the required minimums of K and E, each on or off. The dialog only edits
// values; whoever opened it stores and applies them.
class LimitsDialog : public QDialog {
    Q_OBJECT

public:
    explicit LimitsDialog(const document::Limits& limits, QWidget* parent = nullptr);

    document::Limits limits() const;

private:
    QCheckBox* m_kOn = nullptr;
    QDoubleSpinBox* m_k = nullptr;
    QCheckBox* m_eOn = nullptr;
    QDoubleSpinBox* m_e = nullptr;
};

} // namespace app
