#include "settings/speech_settings_dialog.h"

#include "core/control_events.h"
#include "core/feedback.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace qv {

namespace {

QString on_off(bool on) { return on ? QStringLiteral("オン") : QStringLiteral("オフ"); }

}  // namespace

SpeechSettingsDialog::SpeechSettingsDialog(Feedback& out, const SpeechPreferences& current,
                                           const QStringList& voices, Apply apply, QWidget* parent)
    : QDialog(parent), out_(out), original_(within_limits(current)), apply_(std::move(apply)) {
    setObjectName(QStringLiteral("SpeechSettings"));
    setWindowTitle(caption());
    build(voices);
    building_ = false;
}

void SpeechSettingsDialog::build(const QStringList& voices) {
    rate_ = new QSpinBox(this);
    rate_->setObjectName(QStringLiteral("speech_rate"));
    rate_->setRange(kMinRate, kMaxRate);
    rate_->setSingleStep(kRateStep);
    rate_->setSuffix(QStringLiteral("%"));
    rate_->setValue(original_.voice.rate);

    volume_ = new QSpinBox(this);
    volume_->setObjectName(QStringLiteral("speech_volume"));
    volume_->setRange(kMinVolume, kMaxVolume);
    volume_->setSingleStep(kVolumeStep);
    volume_->setSuffix(QStringLiteral("%"));
    volume_->setValue(original_.voice.volume);

    voice_ = new QComboBox(this);
    voice_->setObjectName(QStringLiteral("speech_voice"));
    voice_->addItem(defaultVoiceName(), QString());
    for (const QString& name : voices) voice_->addItem(name, name);
    // A saved voice that is not offered now (uninstalled, another engine) is still shown, so
    // that looking at the dialog does not change it.
    int index = voice_->findData(original_.voice.voice);
    if (index < 0) {
        voice_->addItem(original_.voice.voice, original_.voice.voice);
        index = voice_->count() - 1;
    }
    voice_->setCurrentIndex(index);

    cue_ = new QCheckBox(QStringLiteral("待っている間の合図音(&W)"), this);
    cue_->setObjectName(QStringLiteral("speech_wait_cue"));
    cue_->setChecked(original_.wait_cue);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("speech_ok"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setObjectName(QStringLiteral("speech_cancel"));

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("speech_status"));
    guide_ = new QLabel(guide(), this);
    guide_->setObjectName(QStringLiteral("speech_guide"));

    auto* form = new QFormLayout;
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    form->addRow(label(QStringLiteral("速さ(&R)"), rate_), rate_);
    form->addRow(label(QStringLiteral("音量(&V)"), volume_), volume_);
    form->addRow(label(QStringLiteral("声(&O)"), voice_), voice_);
    form->addRow(cue_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(guide_);
    column->addLayout(form);
    column->addLayout(buttons);
    column->addWidget(status_);

    setTabOrder(rate_, volume_);
    setTabOrder(volume_, voice_);
    setTabOrder(voice_, cue_);
    setTabOrder(cue_, ok_);
    setTabOrder(ok_, cancel_);

    for (QWidget* control : {static_cast<QWidget*>(rate_), static_cast<QWidget*>(volume_),
                             static_cast<QWidget*>(voice_), static_cast<QWidget*>(cue_),
                             static_cast<QWidget*>(ok_), static_cast<QWidget*>(cancel_)}) {
        attach_handlers(control, {[this, control] { announce(control); },
                                  [this, control] { focus_loss(out_, control); }, nullptr});
    }
    connect(rate_, &QSpinBox::valueChanged, this, [this] { changed(rate_); });
    connect(volume_, &QSpinBox::valueChanged, this, [this] { changed(volume_); });
    connect(voice_, &QComboBox::currentIndexChanged, this, [this] { changed(voice_); });
    connect(cue_, &QCheckBox::toggled, this, [this] { changed(cue_); });
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    rate_->setFocus();
}

SpeechPreferences SpeechSettingsDialog::chosen() const {
    SpeechPreferences p;
    p.voice.rate = rate_->value();
    p.voice.volume = volume_->value();
    p.voice.voice = voice_->currentData().toString();
    p.wait_cue = cue_->isChecked();
    return p;
}

QString SpeechSettingsDialog::describe(QWidget* control) const {
    if (control == rate_) return QStringLiteral("速さ %1パーセント").arg(rate_->value());
    if (control == volume_) return QStringLiteral("音量 %1パーセント").arg(volume_->value());
    if (control == voice_) return QStringLiteral("声 %1").arg(voice_->currentText());
    if (control == cue_)
        return QStringLiteral("待っている間の合図音 %1").arg(on_off(cue_->isChecked()));
    if (control == ok_) return QStringLiteral("OK ボタン。ENTERキーで設定を保存します");
    if (control == cancel_) return QStringLiteral("キャンセル ボタン。設定を元に戻します");
    return {};
}

void SpeechSettingsDialog::announce(QWidget* control) {
    focus_gain(out_, control, QString(), out_.focus().help_context);
    const QString text = describe(control);
    status_->setText(text);
    out_.show_status(text);
    out_.speak(text);
}

void SpeechSettingsDialog::changed(QWidget* control) {
    if (building_) return;
    apply_(chosen());
    const QString text = describe(control);
    status_->setText(text);
    out_.show_status(text);
    // Arrowing through the values must not pile up test phrases: only the newest is worth
    // hearing.
    out_.voice().silence();
    if (control == cue_) {
        out_.speak(text);
    } else {
        out_.speak(text + QStringLiteral("。") + testPhrase());
    }
}

void SpeechSettingsDialog::accept() {
    apply_(chosen());
    QDialog::accept();
}

void SpeechSettingsDialog::reject() {
    apply_(original_);
    QDialog::reject();
}

}  // namespace qv
