#include "settings/speech_settings_dialog.h"

#include "core/dialog_voice.h"
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
    move_ = new QCheckBox(QStringLiteral("一覧で移動した項目を読み上げる(&M)"), this);
    move_->setObjectName(QStringLiteral("speech_move"));
    move_->setChecked(original_.move_speech);

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
    form->addRow(move_);
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
    setTabOrder(cue_, move_);
    setTabOrder(move_, ok_);
    setTabOrder(ok_, cancel_);

    set_control_texts({
        {rate_, "速さ", "読み上げの速さ。上下の矢印キーで10パーセントずつ変えます"},
        {volume_, "音量", "読み上げの音量。上下の矢印キーで10パーセントずつ変えます"},
        {voice_, "声", "読み上げに使う声。上下の矢印キーで選びます"},
        {cue_, "待っている間の合図音", "サーバーとのやり取りを待つ間、小さな音で知らせます"},
        {move_, "一覧で移動した項目を読み上げる",
         "矢印キーで一覧を移ったとき、移った先の項目を読み上げます"},
        {ok_, "OK", "ENTERキーで設定を保存します"},
        {cancel_, "キャンセル", "設定を元に戻します"},
        {status_, "状態", "いま選んでいる項目とその値"},
        {guide_, "キーの案内", "この画面で使えるキー"},
    });
    speaker_ = new DialogVoice(this, out_, purpose(), status_);
    speaker_->answer_changes_myself();
    connect(rate_, &QSpinBox::valueChanged, this, [this] { changed(rate_); });
    connect(volume_, &QSpinBox::valueChanged, this, [this] { changed(volume_); });
    connect(voice_, &QComboBox::currentIndexChanged, this, [this] { changed(voice_); });
    connect(cue_, &QCheckBox::toggled, this, [this] { changed(cue_); });
    connect(move_, &QCheckBox::toggled, this, [this] { changed(move_); });
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
    p.move_speech = move_->isChecked();
    return p;
}

void SpeechSettingsDialog::changed(QWidget* control) {
    if (building_) return;
    apply_(chosen());
    const QString text = describe_control(control);
    status_->setText(text);
    out_.show_status(text);
    // Arrowing through the values must not pile up test phrases: only the newest is worth
    // hearing.
    out_.voice().silence();
    if (qobject_cast<QCheckBox*>(control)) {
        out_.speak(text);
    } else {
        out_.speak(text + QStringLiteral("。") + testPhrase());
    }
}

void SpeechSettingsDialog::accept() {
    apply_(chosen());
    speaker_->set_closing_words(QString());
    QDialog::accept();
}

void SpeechSettingsDialog::reject() {
    apply_(original_);
    speaker_->set_closing_words(QString());
    QDialog::reject();
}

}  // namespace qv
