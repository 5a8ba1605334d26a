#pragma once

#include <QDialog>

#include "update/FilterUpdate.h"

class QLabel;
class QProgressBar;

/// The update's progress: the step bar, the file being fetched and its bytes. Every
/// report lets the interface handle its pending events, so the windows repaint while
/// the update runs on the interface thread.
class UpdateDialog : public QDialog, public UpdateProgress {
    Q_OBJECT
public:
    explicit UpdateDialog(QWidget* parent = nullptr);
    void SetStepRange(int range) override;
    void SetStep(int position) override;
    void SetFile(const std::string& name) override;
    void SetByteRange(long long total) override;
    void SetBytePosition(long long received) override;

    QProgressBar* stepBar() const { return m_steps; }
    QProgressBar* byteBar() const { return m_bytes; }

private:
    void pump();

    QLabel* m_file;
    QProgressBar* m_steps;
    QProgressBar* m_bytes;
    long long m_total = -1;
    long long m_unit = 1024;
};
