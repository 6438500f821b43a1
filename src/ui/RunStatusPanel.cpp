#include "ui/RunStatusPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int ClockIntervalMs = 250;

} // namespace

RunStatusPanel::RunStatusPanel(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("runStatusLabel"));
    busyBar_ = new QProgressBar(this);
    busyBar_->setObjectName(QStringLiteral("runBusyBar"));
    busyBar_->setRange(0, 0);
    busyBar_->setMaximumWidth(160);
    busyBar_->setTextVisible(false);
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelRunButton"));
    cancelButton_->setToolTip(tr("Stop the run at the next safe point (Esc)"));
    layout->addWidget(label_);
    layout->addWidget(busyBar_);
    layout->addWidget(cancelButton_);
    clock_ = new QTimer(this);
    clock_->setInterval(ClockIntervalMs);
    connect(clock_, &QTimer::timeout, this, &RunStatusPanel::refresh);
    connect(cancelButton_, &QPushButton::clicked, this, &RunStatusPanel::cancelRequested);
    hide();
}

QString RunStatusPanel::elapsedText(qint64 elapsedMs)
{
    const qint64 seconds = elapsedMs / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString RunStatusPanel::progressText(const RunProgress& progress, qint64 elapsedMs)
{
    if (progress.stage.empty())
        return tr("Starting") + QStringLiteral(" | ") + elapsedText(elapsedMs);
    QString text = QString::fromStdString(progress.stage);
    if (progress.iteration >= 0)
        text += tr(", iteration %1").arg(progress.iteration);
    text += tr(" | efficiency %1 %").arg(progress.efficiency, 0, 'f', 2);
    text += tr(" | boundary length %1").arg(progress.normBLen, 0, 'f', 3);
    text += QStringLiteral(" | ") + elapsedText(elapsedMs);
    return text;
}

QString RunStatusPanel::text() const
{
    return label_->text();
}

qint64 RunStatusPanel::elapsedMs() const
{
    return elapsed_.isValid() ? elapsed_.elapsed() : 0;
}

void RunStatusPanel::runStarted()
{
    last_ = RunProgress();
    elapsed_.start();
    cancelButton_->setEnabled(true);
    refresh();
    clock_->start();
    show();
}

void RunStatusPanel::showProgress(const RunProgress& progress)
{
    last_ = progress;
    refresh();
}

void RunStatusPanel::runFinished()
{
    clock_->stop();
    hide();
}

void RunStatusPanel::refresh()
{
    label_->setText(progressText(last_, elapsedMs()));
}
