#pragma once

#include "views/grid_column.h"

#include <QString>

namespace views {

// The text form of a grid's column layout: what a stored layout keeps of each column and
// nothing else. One "Key=Value" line per property, a "Column" line before and an "End" line
// after each column, the format's name and version on the first line:
//
//   DataGridLayout 1
//   Column
//   Field=DATE
//   Width=38
//   Level=0
//   Index=0
//   Title=Up 1
//   Footer=Center
//   Options=WrapTitle,ElideCells
//   Color=#ffff80
//   Alignment=Center
//   Font=
//   End
//
// Lines end in CR LF, the form the settings value has always had. Colour "none" means no
// colour of the column's own, an empty font the grid's own font.
QString writeLayoutText(const GridColumns& columns);

// Reads a layout text into `columns` (properties that are not stored keep their defaults).
// Returns false and leaves `columns` as it was when the text is not a layout text: a wrong
// first line, an unknown key, a value that does not read, a column left open. Line ends may
// be CR LF, LF or CR.
bool readLayoutText(const QString& text, GridColumns& columns);

// Line ends turned into CR LF, whatever they were.
QString withCrLf(const QString& text);

} // namespace views
