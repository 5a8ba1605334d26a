// The summary above the log table: blocks per category (horizontal bars) and per day
// of the last week (columns).
#include "views/LogSummaryChart.h"

#include <QPainter>

#include <algorithm>

#include "core/LogTexts.h"

namespace {

constexpr int kHeight = 120;
constexpr int kMargin = 6;

} // namespace

LogSummaryChart::LogSummaryChart(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("logSummaryChart");
    setMinimumHeight(kHeight);
    setMaximumHeight(kHeight);
}

void LogSummaryChart::SetSummary(LogSummary summary)
{
    m_summary = std::move(summary);
    update();
}

QSize LogSummaryChart::sizeHint() const { return QSize(600, kHeight); }

void LogSummaryChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const int half = width() / 2;
    drawBars(p, QRect(0, 0, half, height()), QString::fromUtf8(texts::kLogBlocksPerCategory), m_summary.categories,
             QColor(0xd0, 0x50, 0x60), false);
    drawBars(p, QRect(half, 0, width() - half, height()), QString::fromUtf8(texts::kLogBlocksPerDay), m_summary.days,
             QColor(0x40, 0x70, 0xc0), true);
}

void LogSummaryChart::drawBars(QPainter& p, const QRect& area, const QString& title,
                               const std::vector<LogSummary::Bar>& bars, const QColor& colour, bool vertical)
{
    const QFontMetrics fm = p.fontMetrics();
    const int line = fm.height();
    p.setPen(palette().text().color());
    p.drawText(area.left() + kMargin, area.top() + kMargin + fm.ascent(), title);
    const QRect body = area.adjusted(kMargin, kMargin + line + 2, -kMargin, -kMargin);
    if (bars.empty() || body.height() <= 0)
        return;
    size_t most = 1;
    for (const auto& bar : bars)
        most = std::max(most, bar.count);
    const int n = static_cast<int>(bars.size());
    if (!vertical) {
        // One row per category: its name, a bar, the count.
        const int rowHeight = std::max(1, body.height() / n);
        const int labelWidth = body.width() * 2 / 5;
        const int barRoom = body.width() - labelWidth - fm.horizontalAdvance("00000") - 4;
        for (int i = 0; i < n; ++i) {
            const auto& bar = bars[static_cast<size_t>(i)];
            const int y = body.top() + i * rowHeight;
            const QString label = fm.elidedText(QString::fromStdString(bar.label), Qt::ElideRight, labelWidth - 4);
            p.drawText(QRect(body.left(), y, labelWidth - 4, rowHeight), Qt::AlignVCenter | Qt::AlignLeft, label);
            const int w = static_cast<int>(static_cast<double>(barRoom) * static_cast<double>(bar.count) /
                                           static_cast<double>(most));
            p.fillRect(QRect(body.left() + labelWidth, y + 2, std::max(w, 1), std::max(rowHeight - 4, 1)), colour);
            p.drawText(QRect(body.left() + labelWidth + w + 4, y, 60, rowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                       QString::number(bar.count));
        }
        return;
    }
    // One column per day: the count above, the date below.
    const int columnWidth = std::max(1, body.width() / n);
    const int barRoom = body.height() - 2 * line;
    for (int i = 0; i < n; ++i) {
        const auto& bar = bars[static_cast<size_t>(i)];
        const int x = body.left() + i * columnWidth;
        const int h =
            static_cast<int>(static_cast<double>(barRoom) * static_cast<double>(bar.count) / static_cast<double>(most));
        const int bottom = body.bottom() - line;
        p.fillRect(QRect(x + 4, bottom - h, std::max(columnWidth - 8, 1), h), colour);
        p.drawText(QRect(x, bottom - h - line, columnWidth, line), Qt::AlignCenter, QString::number(bar.count));
        p.drawText(QRect(x, bottom, columnWidth, line), Qt::AlignCenter, QString::fromStdString(bar.label));
    }
}
