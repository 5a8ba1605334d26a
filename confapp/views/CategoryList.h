#pragma once

#include <QListWidget>

#include "core/MainWindowModel.h"

/// The category check list: three states per item, each state with its background.
/// A click or the space bar moves an item to its next state.
class CategoryList : public QListWidget {
    Q_OBJECT
public:
    CategoryList(MainWindowModel& model, QWidget* parent = nullptr);
    /// Fills the list from the model.
    void Reload();

signals:
    void stateChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void advance(int row);
    void paintItem(int row);

    MainWindowModel& m_model;
};
