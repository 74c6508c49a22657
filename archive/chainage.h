#pragma once

#include <QString>

#include <optional>

namespace archive {

// A chainage as road engineers write it: the picket (hundreds of metres) and the metres past
// it, to a decimetre, "ПК 12+35,0" for 1235 m. Before the axis's start, "ПК -1+65,0" for
// -35 m: the picket before zero and the metres on from it.
QString chainageText(double metres);

// Reads a chainage as typed: "ПК 12+35,0", "12+35.0", "пк12+35", or plain metres "1235,5".
// Empty for anything else.
std::optional<double> parseChainage(const QString& text);

} // namespace archive
