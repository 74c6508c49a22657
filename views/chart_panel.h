#pragma once

#include "views/chart_builder.h"
#include "views/chart_data.h"

#include <QWidget>

class QComboBox;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolButton;

namespace document {
class MeasurementDocument;
}

namespace views {

class DataGrid;
class GridTabs;
class ChartView;

// The charts of the tests beside the grid tabs: the five penetration forces of the current
// test with its mean force, and one figure (R, E or K, chosen in a combo box) over every row
// of the shown tab in the grid's order, with its smallest, mean and largest value, the
// selected rows and the current row marked. A click on the tests chart makes that row the
// grid's current row.
//
// The panel follows the document's announcements and the grids' selection. Changes are
// gathered and drawn once the event loop comes round, and not at all while the panel is
// hidden: a hidden panel costs nothing, and draws what it missed when it is shown again.
class ChartPanel : public QWidget {
    Q_OBJECT

public:
    ChartPanel(document::MeasurementDocument& document, GridTabs& tabs, QWidget* parent = nullptr);
    ~ChartPanel() override;

    ChartMeasure measure() const noexcept { return m_measure; }
    void setMeasure(ChartMeasure measure);

    // The charts on the screen.
    Chart* forcesChart() const;
    Chart* testsChart() const;
    ChartView* forcesView() const;
    ChartView* testsView() const;

    // What the charts show, read afresh if anything changed since (also while the panel is
    // hidden and its charts stay as they were): what a saved picture and the report draw.
    const ChartSnapshot& snapshot();
    // The size a saved picture gets: the charts' area as it stands on the screen, or a
    // reasonable size while the panel is hidden or small.
    QSize pictureSize() const;
    // Draws what changed now, instead of when the event loop comes round.
    void refresh();

    // Room for both charts with their titles, axes and legends, wherever the panel stands.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // Makes the view's row at `position` the grid's current row (what a click on the tests
    // chart does).
    void showRow(int position);

signals:
    void measureChanged(views::ChartMeasure measure);
    // "Сохранить график…" in the panel: the window asks for the file.
    void saveRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // What a change touches: the marks (selected rows, the current row and its forces) or
    // the values of every row as well.
    enum Change { Marks = 1, Values = 2 };
    void changed(int what);
    void readSnapshot();
    void draw();
    void fillMeasureChoice();
    void arrangeCharts();
    DataGrid* shownGrid() const;
    void describe();
    QString rowText(int position) const;

    document::MeasurementDocument& m_document;
    GridTabs& m_tabs;
    ChartMeasure m_measure = ChartMeasure::R;
    ChartSnapshot m_snapshot;
    int m_unread = Values;  // what the snapshot has not read yet
    int m_undrawn = Values; // what the charts on the screen do not show yet
    int m_choiceKind = -1;  // the kind whose captions the measure choice shows
    bool m_arranged = false; // the charts have had their share of the panel once

    QTimer* m_drawTimer = nullptr;
    QComboBox* m_measureChoice = nullptr;
    QToolButton* m_saveButton = nullptr;
    QStackedWidget* m_pages = nullptr;
    QSplitter* m_charts = nullptr;
    ChartView* m_forcesView = nullptr;
    ChartView* m_testsView = nullptr;
    ChartStyle m_style;
};

} // namespace views
