// The version page's widgets.
#include "views/pages/VersionPageView.h"

#include <QLabel>
#include <QVBoxLayout>

VersionPageView::VersionPageView(VersionPage& model, QWidget* parent)
    : PageView(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* version = new QLabel(QString::fromStdString(model.versionLine()), this);
    version->setObjectName("versionLabel");
    auto* link = new QLabel(
        QStringLiteral("<a href=\"%1\" style=\"color:blue\">%1</a>").arg(QString::fromUtf8(VersionPage::kWebAddress)),
        this);
    link->setObjectName("linkLabel");
    link->setOpenExternalLinks(true); // the browser opens it
    layout->addWidget(version);
    layout->addWidget(link);
    layout->addStretch();
}
