#include "app/limits_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace app {
namespace {

// Values a limit starts on when it is switched on for the first time.
constexpr double kUsualK = 0.95;
constexpr double kUsualE = 20.0;

} // namespace

LimitsDialog::LimitsDialog(const document::Limits& limits, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LimitsDialog"));
    setWindowTitle(QStringLiteral("Нормативы"));

    auto* intro = new QLabel(QStringLiteral("Испытания, в которых значение ниже норматива, отмечаются красным "
                                            "уголком в столбце N — в таблице, на графиках, в экспорте и в отчёте."),
                             this);
    intro->setWordWrap(true);

    m_kOn = new QCheckBox(QStringLiteral("Коэффициент уплотнения &K не ниже"), this);
    m_kOn->setObjectName(QStringLiteral("LimitKOn"));
    m_k = new QDoubleSpinBox(this);
    m_k->setObjectName(QStringLiteral("LimitK"));
    m_k->setAccessibleName(QStringLiteral("Наименьший коэффициент уплотнения K"));
    m_k->setRange(0.0, 2.0);
    m_k->setDecimals(3);
    m_k->setSingleStep(0.01);
    m_k->setValue(limits.minK.value_or(kUsualK));

    m_eOn = new QCheckBox(QStringLiteral("Модуль упругости &E не ниже"), this);
    m_eOn->setObjectName(QStringLiteral("LimitEOn"));
    m_e = new QDoubleSpinBox(this);
    m_e->setObjectName(QStringLiteral("LimitE"));
    m_e->setAccessibleName(QStringLiteral("Наименьший модуль упругости E, МПа"));
    m_e->setRange(0.0, 10000.0);
    m_e->setDecimals(1);
    m_e->setSingleStep(1.0);
    m_e->setSuffix(QStringLiteral(" МПа"));
    m_e->setValue(limits.minE.value_or(kUsualE));

    // A value is edited only while its limit is on.
    for (auto [on, value] : {std::pair{m_kOn, m_k}, std::pair{m_eOn, m_e}}) {
        connect(on, &QCheckBox::toggled, value, &QWidget::setEnabled);
        value->setEnabled(false);
    }
    m_kOn->setChecked(limits.minK.has_value());
    m_eOn->setChecked(limits.minE.has_value());

    auto* grid = new QGridLayout;
    grid->addWidget(m_kOn, 0, 0);
    grid->addWidget(m_k, 0, 1);
    grid->addWidget(m_eOn, 1, 0);
    grid->addWidget(m_e, 1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

document::Limits LimitsDialog::limits() const
{
    document::Limits out;
    if (m_kOn->isChecked())
        out.minK = m_k->value();
    if (m_eOn->isChecked())
        out.minE = m_e->value();
    return out;
}

} // namespace app
