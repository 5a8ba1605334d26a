#include "views/UpdateDialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "core/Texts.h"

namespace {

// The bar counts in units of this many bytes, so any size fits its int range.
long long unitFor(long long total) { return std::max<long long>(1024, total / INT32_MAX + 1); }

} // namespace

UpdateDialog::UpdateDialog(QWidget* parent)
    : QDialog(parent)
    , m_file(new QLabel(this))
    , m_steps(new QProgressBar(this))
    , m_bytes(new QProgressBar(this))
{
    setWindowTitle(texts::kUpdateFilter);
    setModal(true);
    m_steps->setObjectName("stepProgressBar");
    m_bytes->setObjectName("byteProgressBar");
    m_file->setObjectName("fileLabel");
    m_file->setMinimumWidth(320);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_steps);
    layout->addWidget(m_file);
    layout->addWidget(m_bytes);
}

void UpdateDialog::pump() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void UpdateDialog::SetStepRange(int range)
{
    m_steps->setRange(0, std::max(range, 1));
    pump();
}

void UpdateDialog::SetStep(int position)
{
    m_steps->setValue(std::clamp(position, m_steps->minimum(), m_steps->maximum()));
    pump();
}

void UpdateDialog::SetFile(const std::string& name)
{
    m_file->setText(QString::fromStdString(name));
    pump();
}

void UpdateDialog::SetByteRange(long long total)
{
    m_total = total;
    m_unit = unitFor(total);
    // Unknown size: a busy bar.
    m_bytes->setRange(0, total > 0 ? static_cast<int>(std::max<long long>(total / m_unit, 1)) : 0);
    pump();
}

void UpdateDialog::SetBytePosition(long long received)
{
    if (m_total > 0)
        m_bytes->setValue(static_cast<int>(std::clamp<long long>(received / m_unit, 0, m_bytes->maximum())));
    pump();
}
