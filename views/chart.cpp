#include "views/chart.h"

namespace views {

ChartSeries& Chart::addSeries(ChartSeries series)
{
    m_series.push_back(std::move(series));
    return m_series.back();
}

ChartSeries* Chart::findSeries(const QString& objectName)
{
    for (ChartSeries& s : m_series)
        if (s.objectName == objectName)
            return &s;
    return nullptr;
}

const ChartSeries* Chart::findSeries(const QString& objectName) const
{
    return const_cast<Chart*>(this)->findSeries(objectName);
}

std::vector<const ChartSeries*> Chart::seriesNamed(const QString& objectName) const
{
    std::vector<const ChartSeries*> found;
    for (const ChartSeries& s : m_series)
        if (s.objectName == objectName)
            found.push_back(&s);
    return found;
}

} // namespace views
