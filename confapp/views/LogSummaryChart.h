#pragma once

#include <QWidget>

#include "core/LogQuery.h"

/// Blocks per category and per day as two small bar charts side by side, drawn with
/// QPainter.
class LogSummaryChart : public QWidget {
    Q_OBJECT
public:
    explicit LogSummaryChart(QWidget* parent = nullptr);
    void SetSummary(LogSummary summary);
    const LogSummary& summary() const { return m_summary; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawBars(QPainter& p, const QRect& area, const QString& title, const std::vector<LogSummary::Bar>& bars,
                  const QColor& colour, bool vertical);
    LogSummary m_summary;
};
