#include "player/FModPlayerWidget.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>
#include <cmath>

#include "dialogs/UserDialogs.h"
#include "player/Exception.h"
#include "player/Player.h"
#include "player/Slider.h"

FModPlayerWidget::FModPlayerWidget(QWidget *pParent) : QWidget(pParent)
{
    // The window must open without sound too; the failure is shown once here and again at each
    // Play. No parent for the box: the window is not shown yet.
    try {
        CreatePlayer();
    } catch (const Exception &error) {
        ShowError(nullptr, error);
    }
    positionTimer.setInterval(timerInterval);

    volumeSlider = new Slider(this);
    positionSlider = new Slider(this);
    timeLabel = new QLabel;
    timeLabel->setVisible(false);

    auto *pLayout = new QHBoxLayout;
    pLayout->addWidget(volumeSlider);
    pLayout->addWidget(positionSlider);
    pLayout->addWidget(timeLabel);

    volumeSlider->setFixedHeight(15);
    volumeSlider->SetMaximum(1000);
    volumeSlider->setFixedWidth(75);
    positionSlider->setFixedHeight(15);
    timeLabel->resize(100, 15);

    // The volume follows the mouse at once; the position only previews while dragged and seeks
    // on release.
    connect(volumeSlider, &Slider::SliderPressed, this, &FModPlayerWidget::SetVolume);
    connect(volumeSlider, &Slider::SliderReleased, this, &FModPlayerWidget::SetVolume);
    connect(volumeSlider, &Slider::SliderMoved, this, &FModPlayerWidget::SetVolume);
    connect(positionSlider, &Slider::SliderReleased, this, &FModPlayerWidget::SetPosition);
    connect(positionSlider, &Slider::SliderMoved, this, &FModPlayerWidget::SetProgressText);
    connect(&positionTimer, &QTimer::timeout, this, &FModPlayerWidget::SetPositionFromTimer);

    float volume = 1.0f;
    try {
        if (player)
            volume = player->GetVolume();
    } catch (const Exception &error) {
        ShowError(nullptr, error);
    }
    volumeSlider->SetValue(uint(std::trunc(std::max(0.0f, float(volume * 1000.0)))));

    setLayout(pLayout);
}

// The timer goes first, then the player (closing the device), then the child widgets.
FModPlayerWidget::~FModPlayerWidget() = default;

void FModPlayerWidget::CreatePlayer()
{
    player = std::make_unique<Player>();
}

void FModPlayerWidget::ShowError(QWidget *pParent, const Exception &error)
{
    UserDialogs::Critical(pParent, QStringLiteral("Error"), QString::fromStdString(error.GetMessage()));
}

QString FModPlayerWidget::FormatTime(uint milliseconds)
{
    const uint hours = milliseconds / 3600000;
    const uint minutes = (milliseconds / 60000) % 60;
    const uint seconds = (milliseconds / 1000) % 60;
    if (hours != 0)
        return QString::asprintf("%02u:%02u:%02u", hours, minutes, seconds);
    return QString::asprintf("%02u:%02u", minutes, seconds);
}

bool FModPlayerWidget::IsPlaying() const
{
    try {
        return player && player->IsPlaying();
    } catch (const Exception &) {
        return false;
    }
}

void FModPlayerWidget::Stop()
{
    positionTimer.stop();
    try {
        if (player)
            player->Stop();
        positionSlider->SetValue(positionSlider->Minimum());
        timeLabel->setVisible(false);
        labelNeedsSizing = true;
    } catch (const Exception &error) {
        ShowError(this, error);
    }
    emit PlayingStopped();
}

void FModPlayerWidget::SetLoopStart(qint64 loopStart)
{
    if (player)
        player->SetLoopStart(loopStart);
}

bool FModPlayerWidget::Play(QString file, qint64 loopStart)
{
    try {
        positionSlider->SetValue(positionSlider->Minimum());
        // A device that was missing or busy at start may be there now; if not, say so again.
        if (!player) {
            CreatePlayer();
            player->SetVolumeFromSlider(volumeSlider->Value());
        }
        player->PlayFile(file, loopStart);
        positionSlider->SetMaximum(player->GetLength());
        positionTimer.start();
        labelNeedsSizing = true;
        emit PlayingStarted(file);
        return true;
    } catch (const Exception &error) {
        timeLabel->setVisible(false);
        ShowError(this, error);
        return false;
    }
}

void FModPlayerWidget::Break()
{
    if (!player)
        return;
    try {
        player->SetPaused(!player->IsPaused());
    } catch (const Exception &error) {
        ShowError(this, error);
    }
}

void FModPlayerWidget::SetVolume(uint value)
{
    if (!player)
        return;
    try {
        player->SetVolume(float(value / 1000.0));
    } catch (const Exception &error) {
        ShowError(this, error);
    }
}

void FModPlayerWidget::SetPosition(uint value)
{
    if (!player)
        return;
    if (value > 0)
        --value;
    try {
        player->SetPosition(value);
        UpdateProgressText(value);
    } catch (const Exception &error) {
        ShowError(this, error);
    }
}

void FModPlayerWidget::SetPositionFromTimer()
{
    if (!player)
        return;
    try {
        const uint position = player->GetPosition();
        positionSlider->SetValue(position);
        if (!positionSlider->IsPressed())
            UpdateProgressText(position);
        emit PositionChanged(position);
    } catch (const Exception &error) {
        ShowError(this, error);
    }
}

void FModPlayerWidget::SetProgressText(uint value)
{
    // Reached straight from the slider's drag signal too, where an exception must not go on.
    try {
        UpdateProgressText(value);
    } catch (const Exception &error) {
        ShowError(this, error);
    }
}

void FModPlayerWidget::UpdateProgressText(uint value)
{
    if (!player || !player->IsPlaying())
        return;
    const QString text = FormatTime(value) + QStringLiteral(" / ") + FormatTime(player->GetLength());
    timeLabel->setText(text);
    if (labelNeedsSizing) {
        labelNeedsSizing = false;
        timeLabel->setFixedWidth(QFontMetrics(timeLabel->font()).horizontalAdvance(text));
        timeLabel->setVisible(true);
    }
}
