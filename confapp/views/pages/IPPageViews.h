#pragma once

#include "core/pages/IPPages.h"
#include "views/PageViews.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

/// A field for an address and the answer which entry decides for it.
class AddressProbe final : public QWidget {
public:
    AddressProbe(std::function<std::string(const std::string&)> explain, QWidget* parent);
    QLineEdit* field() const { return m_field; }
    QLabel* answer() const { return m_answer; }
    void Update();

private:
    std::function<std::string(const std::string&)> m_explain;
    QLineEdit* m_field;
    QLabel* m_answer;
};

/// "IP制限": the addresses and ranges allowed to use the proxy.
class IPRestrictionPageView final : public PageView {
public:
    IPRestrictionPageView(IPRestrictionPage& page, QWidget* parent);
    void Refresh() override;
    QListWidget* list() const { return m_list; }
    AddressProbe* probe() const { return m_probe; }

private:
    void run(std::string (IPRestrictionPage::*action)());

    IPRestrictionPage& m_page;
    QLineEdit* m_address;
    QListWidget* m_list;
    QPushButton* m_modify;
    QPushButton* m_delete;
    AddressProbe* m_probe;
};

/// "IPポリシー": per address or range, no filtering or a group and a mode.
class IPExceptionPageView final : public PageView {
public:
    IPExceptionPageView(IPExceptionPage& page, QWidget* parent);
    void Refresh() override;
    QTreeWidget* list() const { return m_list; }
    QCheckBox* exemptCheck() const { return m_exempt; }
    QComboBox* groupBox() const { return m_group; }
    AddressProbe* probe() const { return m_probe; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void readFields();
    void showFields();
    void showRows();

    IPExceptionPage& m_page;
    QLineEdit* m_address;
    QCheckBox* m_exempt;
    QComboBox* m_group;
    QComboBox* m_mode;
    QTreeWidget* m_list;
    QPushButton* m_modify;
    QPushButton* m_delete;
    AddressProbe* m_probe;
};
