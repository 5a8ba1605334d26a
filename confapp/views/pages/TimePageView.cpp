#include "views/pages/TimePageView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "views/pages/PageWidgets.h"

using namespace pagewidgets;

namespace {

constexpr int kLabelWidth = 56;
constexpr int kHeaderHeight = 16;
constexpr int kCellWidth = 18;
constexpr int kCellHeight = 18;
constexpr const char* kShortDays[TimePage::kDays] = {"月", "火", "水", "木", "金", "土", "日"};

} // namespace

// ---- WeekGrid ----

WeekGrid::WeekGrid(TimePage& page, QWidget* parent)
    : QWidget(parent)
    , m_page(page)
{
    setObjectName("weekGrid");
    setMouseTracking(false);
}

QSize WeekGrid::sizeHint() const
{
    return {kLabelWidth + TimePage::kHours * kCellWidth + 1, kHeaderHeight + TimePage::kDays * kCellHeight + 1};
}

QColor WeekGrid::StateColor(FilterStatus state)
{
    switch (state) {
    case FilterCut:
        return {0xE0, 0x50, 0x50};
    case FilterOn:
        return {0x70, 0xB0, 0xE8};
    default:
        return {0xF4, 0xF4, 0xF4};
    }
}

QRect WeekGrid::cellRect(int day, int hour) const
{
    return {kLabelWidth + hour * kCellWidth, kHeaderHeight + day * kCellHeight, kCellWidth, kCellHeight};
}

std::pair<int, int> WeekGrid::CellAt(QPoint point) const
{
    const int x = point.x() - kLabelWidth;
    const int y = point.y() - kHeaderHeight;
    if (x < 0 || y < 0)
        return {-1, -1};
    const int hour = x / kCellWidth;
    const int day = y / kCellHeight;
    if (hour >= TimePage::kHours || day >= TimePage::kDays)
        return {-1, -1};
    return {day, hour};
}

void WeekGrid::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    p.setFont(small);
    for (int h = 0; h < TimePage::kHours; h += 3)
        p.drawText(QRect(kLabelWidth + h * kCellWidth, 0, kCellWidth * 2, kHeaderHeight), Qt::AlignLeft,
                   QString::number(h));
    const auto states = m_page.CellStates();
    for (int d = 0; d < TimePage::kDays; ++d) {
        p.setPen(palette().windowText().color());
        p.drawText(QRect(0, kHeaderHeight + d * kCellHeight, kLabelWidth - 4, kCellHeight),
                   Qt::AlignRight | Qt::AlignVCenter, QString(kShortDays[d]));
        for (int h = 0; h < TimePage::kHours; ++h) {
            FilterStatus state = states[static_cast<size_t>(d)][static_cast<size_t>(h)];
            if (d == m_dragDay && h >= std::min(m_dragFrom, m_dragTo) && h <= std::max(m_dragFrom, m_dragTo))
                state = m_brush;
            const QRect r = cellRect(d, h);
            p.fillRect(r, StateColor(state));
            p.setPen(QColor(0xA0, 0xA0, 0xA0));
            p.drawRect(r);
        }
    }
    // The day being edited in the list.
    p.setPen(QPen(Qt::black, 2));
    p.drawRect(cellRect(m_page.day(), 0).united(cellRect(m_page.day(), TimePage::kHours - 1)));
}

void WeekGrid::mousePressEvent(QMouseEvent* event)
{
    const auto [day, hour] = CellAt(event->position().toPoint());
    if (day < 0)
        return;
    m_brush = event->button() == Qt::RightButton ? FilterOff : m_page.stateField;
    m_dragDay = day;
    m_dragFrom = m_dragTo = hour;
    update();
}

void WeekGrid::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragDay < 0)
        return;
    // A drag stays on its day; across the hours it follows the pointer.
    const int x = event->position().toPoint().x() - kLabelWidth;
    m_dragTo = std::clamp(x / kCellWidth, 0, TimePage::kHours - 1);
    update();
}

void WeekGrid::mouseReleaseEvent(QMouseEvent*)
{
    if (m_dragDay < 0)
        return;
    m_page.PaintCells(m_dragDay, m_dragFrom, m_dragTo, m_brush);
    m_dragDay = -1;
    update();
    emit edited();
}

// ---- ApplyDaysDialog ----

ApplyDaysDialog::ApplyDaysDialog(int currentDay, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("他の曜日にも適用");
    auto* layout = new QVBoxLayout(this);
    for (int d = 0; d < TimePage::kDays; ++d) {
        auto* check = new QCheckBox(TimePage::DayName(d), this);
        check->setEnabled(d != currentDay);
        m_checks[static_cast<size_t>(d)] = check;
        layout->addWidget(check);
    }
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("適用", QDialogButtonBox::AcceptRole);
    buttons->addButton(texts::kCancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::array<bool, TimePage::kDays> ApplyDaysDialog::Days() const
{
    std::array<bool, TimePage::kDays> days{};
    for (size_t d = 0; d < days.size(); ++d)
        days[d] = m_checks[d]->isEnabled() && m_checks[d]->isChecked();
    return days;
}

// ---- TimePageView ----

TimePageView::TimePageView(TimePage& page, QWidget* parent)
    : PageView(parent)
    , m_page(page)
    , m_day(new QComboBox(this))
    , m_start(new QLineEdit(this))
    , m_end(new QLineEdit(this))
    , m_filtering(new QRadioButton("フィルタリング", this))
    , m_cut(new QRadioButton("遮断（インターネット接続禁止）", this))
    , m_list(makeTable(this, {"開始時刻", "終了時刻", "状態"}))
    , m_modify(new QPushButton("修正", this))
    , m_delete(new QPushButton("削除", this))
    , m_now(new QLabel(this))
    , m_grid(new WeekGrid(page, this))
{
    m_day->setObjectName("dayComboBox");
    m_list->setObjectName("slotList");
    m_now->setObjectName("stateNowLabel");
    for (int d = 0; d < TimePage::kDays; ++d)
        m_day->addItem(TimePage::DayName(d));
    m_start->setMaximumWidth(60);
    m_end->setMaximumWidth(60);
    m_filtering->setChecked(true);
    auto* add = new QPushButton("追加", this);
    auto* apply = new QPushButton("他の曜日に適用", this);

    auto* times = new QHBoxLayout;
    times->addWidget(m_day);
    times->addWidget(new QLabel("時間 :", this));
    times->addWidget(m_start);
    times->addWidget(new QLabel("から", this));
    times->addWidget(m_end);
    times->addWidget(new QLabel("まで", this));
    times->addStretch();
    auto* states = new QHBoxLayout;
    states->addWidget(m_filtering);
    states->addWidget(m_cut);
    states->addStretch();
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, m_modify, m_delete, apply})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_list, 1);
    middle->addLayout(buttons);
    auto* legend =
        new QLabel("■ フィルタリング　■ 遮断　□ フィルタリングなし（左ドラッグで設定、右ドラッグで解除）", this);
    legend->setTextFormat(Qt::RichText);
    legend->setText(
        QString("<span style='color:%1'>■</span> フィルタリング　<span style='color:%2'>■</span> 遮断　"
                "<span style='color:#c0c0c0'>■</span> フィルタリングなし　（左ドラッグで設定、右ドラッグで解除）")
            .arg(WeekGrid::StateColor(FilterOn).name(), WeekGrid::StateColor(FilterCut).name()));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(times);
    layout->addLayout(states);
    layout->addLayout(middle, 1);
    layout->addWidget(m_now);
    layout->addWidget(m_grid);
    layout->addWidget(legend);

    connect(m_day, &QComboBox::currentIndexChanged, this, [this](int day) {
        m_page.SelectDay(day);
        showSlots();
    });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this] {
        m_page.Select(currentRow(m_list));
        m_start->setText(q(m_page.startField));
        m_end->setText(q(m_page.endField));
        (m_page.stateField == FilterCut ? m_cut : m_filtering)->setChecked(true);
        m_modify->setEnabled(m_page.selected() >= 0);
        m_delete->setEnabled(m_page.selected() >= 0);
    });
    connect(m_filtering, &QRadioButton::toggled, this, [this] { readFields(); });
    connect(add, &QPushButton::clicked, this, [this] {
        readFields();
        afterEdit(m_page.Add());
    });
    connect(m_modify, &QPushButton::clicked, this, [this] {
        readFields();
        afterEdit(m_page.Modify());
    });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        m_page.Delete();
        afterEdit({});
    });
    connect(apply, &QPushButton::clicked, this, [this] {
        ApplyDaysDialog dialog(m_page.day(), this);
        if (dialog.exec() == QDialog::Accepted) {
            m_page.ApplyToDays(dialog.Days());
            showSlots();
        }
    });
    connect(m_grid, &WeekGrid::edited, this, [this] { showSlots(); });
    // The state now moves with the clock.
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, [this] { showSlots(); });
    clock->start(60 * 1000);
}

void TimePageView::readFields()
{
    m_page.startField = s(m_start->text());
    m_page.endField = s(m_end->text());
    m_page.stateField = m_cut->isChecked() ? FilterCut : FilterOn;
}

void TimePageView::afterEdit(const std::string& message)
{
    warn(this, message);
    showSlots();
}

void TimePageView::showSlots()
{
    std::vector<std::vector<std::string>> rows;
    for (const TimePage::Slot& slot : m_page.daySlots(m_page.day()))
        rows.push_back({TimePage::TimeText(slot.start), TimePage::TimeText(slot.end), TimePage::StateName(slot.state)});
    fillTable(m_list, rows, m_page.selected());
    const int third = std::max(60, m_list->viewport()->width() / 3);
    for (int c = 0; c < 3; ++c)
        m_list->setColumnWidth(c, third);
    m_modify->setEnabled(m_page.selected() >= 0);
    m_delete->setEnabled(m_page.selected() >= 0);
    const FilterStatus now = m_page.StateNow();
    m_now->setText(q(std::string("現在の状態：") + (now == FilterCut  ? "遮断（cut）"
                                                    : now == FilterOn ? "フィルタリング（on）"
                                                                      : "フィルタリングなし（off）")));
    m_grid->update();
}

void TimePageView::Refresh()
{
    {
        const QSignalBlocker block(m_day);
        m_day->setCurrentIndex(m_page.day());
    }
    m_start->setText(q(m_page.startField));
    m_end->setText(q(m_page.endField));
    (m_page.stateField == FilterCut ? m_cut : m_filtering)->setChecked(true);
    showSlots();
}
