#pragma once

#include "base/run_control.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The part of the status bar that follows a run: the stage, the refinement
// iteration, the efficiency and boundary length of the current layout and the
// elapsed time, with a busy bar and a Cancel button. Hidden between runs.
class RunStatusPanel : public QWidget {
    Q_OBJECT

public:
    explicit RunStatusPanel(QWidget* parent = nullptr);

    // The one-line text for a progress report after elapsedMs milliseconds,
    // e.g. "Refining, iteration 3 | efficiency 61.23 % | boundary length 4.123 | 0:12".
    static QString progressText(const RunProgress& progress, qint64 elapsedMs);
    // Minutes and seconds, "m:ss".
    static QString elapsedText(qint64 elapsedMs);

    QString text() const;
    qint64 elapsedMs() const;
    QPushButton* cancelButton() const { return cancelButton_; }

public slots:
    void runStarted();
    void showProgress(const RunProgress& progress);
    void runFinished();

signals:
    void cancelRequested();

private:
    void refresh();

    QLabel* label_ = nullptr;
    QProgressBar* busyBar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QTimer* clock_ = nullptr;
    QElapsedTimer elapsed_;
    RunProgress last_;
};
