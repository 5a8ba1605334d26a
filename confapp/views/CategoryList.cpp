#include "views/CategoryList.h"

#include <QKeyEvent>

namespace {

Rgb toRgb(const QColor& c)
{
    return {static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())};
}

QColor toColor(Rgb c) { return QColor(c.r, c.g, c.b); }

Qt::CheckState checkState(int state)
{
    switch (state) {
    case 1:
        return Qt::Checked;
    case 2:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

} // namespace

CategoryList::CategoryList(MainWindowModel& model, QWidget* parent)
    : QListWidget(parent)
    , m_model(model)
{
    setObjectName("categoryListWidget");
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { advance(row(item)); });
}

void CategoryList::Reload()
{
    clear();
    for (const MainWindowModel::Category& c : m_model.categories()) {
        auto* item = new QListWidgetItem(QString::fromStdString(c.name), this);
        // The list moves the states itself: the toolkit's own cycle runs the other way.
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setSizeHint(QSize(0, fontMetrics().height() + 6));
    }
    for (int r = 0; r < count(); ++r)
        paintItem(r);
}

void CategoryList::advance(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_model.categories().size())
        return;
    const auto at = static_cast<size_t>(row);
    m_model.SetCategoryState(at, MainWindowModel::NextState(m_model.categories()[at].state));
    paintItem(row);
    emit stateChanged();
}

void CategoryList::paintItem(int row)
{
    QListWidgetItem* it = item(row);
    const auto at = static_cast<size_t>(row);
    if (!it || at >= m_model.categories().size())
        return;
    const int state = m_model.categories()[at].state;
    const Rgb background = CategoryBackground(state, toRgb(palette().color(QPalette::Base)));
    it->setCheckState(checkState(state));
    it->setBackground(toColor(background));
    it->setForeground(toColor(CategoryText(isEnabled(), toRgb(palette().color(QPalette::Text)), background)));
}

void CategoryList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && currentRow() >= 0) {
        advance(currentRow());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void CategoryList::changeEvent(QEvent* event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange) {
        for (int r = 0; r < count(); ++r)
            paintItem(r);
    }
}
