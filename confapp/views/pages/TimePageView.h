#pragma once

#include <QDialog>

#include <array>

#include "core/pages/TimePage.h"
#include "views/PageViews.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

/// The week at a glance: days down, hours across, each cell coloured by the state at
/// its start. Dragging with the left button gives the cells the chosen state, with the
/// right button clears them; the model turns the cells into slots.
class WeekGrid final : public QWidget {
    Q_OBJECT
public:
    WeekGrid(TimePage& page, QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    /// The cell under a point, or {-1, -1}.
    std::pair<int, int> CellAt(QPoint point) const;
    static QColor StateColor(FilterStatus state);

signals:
    void edited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect cellRect(int day, int hour) const;

    TimePage& m_page;
    int m_dragDay = -1;
    int m_dragFrom = -1;
    int m_dragTo = -1;
    FilterStatus m_brush = FilterOn;
};

/// "他の曜日にも適用": which other days get the current day's slots.
class ApplyDaysDialog final : public QDialog {
public:
    ApplyDaysDialog(int currentDay, QWidget* parent);
    std::array<bool, TimePage::kDays> Days() const;
    QCheckBox* dayCheck(int day) const { return m_checks[static_cast<size_t>(day)]; }

private:
    std::array<QCheckBox*, TimePage::kDays> m_checks{};
};

/// "時間帯指定": the chosen group's week, as a list per day and as the grid.
class TimePageView final : public PageView {
public:
    TimePageView(TimePage& page, QWidget* parent);
    void Refresh() override;

    WeekGrid* grid() const { return m_grid; }
    QTreeWidget* slotList() const { return m_list; }

private:
    void readFields();
    void showSlots();
    void afterEdit(const std::string& message);

    TimePage& m_page;
    QComboBox* m_day;
    QLineEdit* m_start;
    QLineEdit* m_end;
    QRadioButton* m_filtering;
    QRadioButton* m_cut;
    QTreeWidget* m_list;
    QPushButton* m_modify;
    QPushButton* m_delete;
    QLabel* m_now;
    WeekGrid* m_grid;
};
