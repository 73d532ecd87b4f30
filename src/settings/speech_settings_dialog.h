#pragma once

#include "settings/speech_preferences.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace qv {

class DialogVoice;
class Feedback;

// "音声の設定": the speaking rate, the volume, the voice, the waiting cue and whether moves in a
// list are said. Every change is applied at once and answered with a test phrase in the new
// voice; "OK" keeps the choice, "キャンセル" (or ESC) puts everything back as it was when the
// dialog opened. The opener says the outcome.
class SpeechSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    using Apply = std::function<void(const SpeechPreferences&)>;

    SpeechSettingsDialog(Feedback& out, const SpeechPreferences& current, const QStringList& voices,
                         Apply apply, QWidget* parent = nullptr);

    SpeechPreferences chosen() const;

    static QString caption() { return QStringLiteral("音声の設定"); }
    static QString testPhrase() { return QStringLiteral("この声で読み上げます"); }
    static QString defaultVoiceName() { return QStringLiteral("標準の声"); }
    static QString guide() {
        return QStringLiteral(
            "[TAB:次の項目 上下の矢印:変更 SPACE:切り替え ENTER:保存 ESC:取り消し]");
    }
    static QString purpose() {
        return QStringLiteral(
            "TABキーで項目を移り、上下の矢印キーで値を変えます。ENTERキーで保存、ESCキーで取り消し"
            "ます");
    }

    QSpinBox* rateBox() const { return rate_; }
    QSpinBox* volumeBox() const { return volume_; }
    QComboBox* voiceBox() const { return voice_; }
    QCheckBox* cueBox() const { return cue_; }
    QCheckBox* moveBox() const { return move_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;
    void reject() override;

  private:
    void build(const QStringList& voices);
    void changed(QWidget* control);

    Feedback& out_;
    SpeechPreferences original_;
    Apply apply_;
    QSpinBox* rate_ = nullptr;
    QSpinBox* volume_ = nullptr;
    QComboBox* voice_ = nullptr;
    QCheckBox* cue_ = nullptr;
    QCheckBox* move_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* guide_ = nullptr;
    DialogVoice* speaker_ = nullptr;
    bool building_ = true;
};

}  // namespace qv
