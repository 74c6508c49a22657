#include "settings/program_settings.h"

namespace settings {

std::unique_ptr<QSettings> open()
{
    auto values = std::make_unique<QSettings>(QSettings::defaultFormat(), QSettings::UserScope,
                                              kOrganization, kApplication);
    values->beginGroup(kGroup);
    return values;
}

} // namespace settings
