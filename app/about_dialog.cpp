#include "app/about_dialog.h"

#include "app/version.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Tform6"));
    setWindowTitle(QStringLiteral("О программе"));
    setFixedSize(515, 151);

    auto* title = new QLabel(QStringLiteral("ВРТ - ТК5"), this);
    title->setObjectName(QStringLiteral("Label1"));
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    title->setFont(titleFont);

    auto* purpose = new QLabel(QStringLiteral("Программа для передачи данных с приборов ВРТ-ТК5"), this);
    purpose->setObjectName(QStringLiteral("Label2"));

    // Filled in on every show; the text here is never seen.
    m_version = new QLabel(QStringLiteral("Версия 1.0"), this);
    m_version->setObjectName(QStringLiteral("Label3"));

    auto* ok = new QPushButton(QStringLiteral("Ок"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    for (QLabel* label : {title, purpose, m_version}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setAccessibleName(label->text());
    }
    m_version->setAccessibleName(QStringLiteral("Версия"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 12, 16, 12);
    layout->addWidget(title);
    layout->addWidget(purpose);
    layout->addWidget(m_version);
    layout->addStretch();
    layout->addLayout(buttons);
}

QString AboutDialog::versionLine()
{
    // The version is the one the build stamps into the executable's version block.
    const QString version = QString::fromLatin1(kProgramVersion);
    return QStringLiteral("Версия ") + (version.size() < 2 ? QStringLiteral("0.0.0.0") : version);
}

void AboutDialog::showEvent(QShowEvent* event)
{
    m_version->setText(versionLine());
    QDialog::showEvent(event);
}

} // namespace app
