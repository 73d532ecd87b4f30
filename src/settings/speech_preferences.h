#pragma once

#include "speech/speech_engine.h"

namespace qv {

class MailStore;

// What the user chose in "音声の設定": how the voice speaks, whether a long wait is marked by a
// soft tone, and whether moving in a list says the item landed on.
struct SpeechPreferences {
    VoiceSettings voice;
    bool wait_cue = true;
    bool move_speech = true;

    friend bool operator==(const SpeechPreferences&, const SpeechPreferences&) = default;
};

// The limits of the dialog's controls. A silent voice would leave the user with no way back,
// so the volume never goes below kMinVolume.
constexpr int kMinRate = 50;
constexpr int kMaxRate = 300;
constexpr int kRateStep = 10;
constexpr int kMinVolume = 10;
constexpr int kMaxVolume = 100;
constexpr int kVolumeStep = 10;

// Brings values from the database (which may have been edited by hand) into those limits.
SpeechPreferences within_limits(SpeechPreferences p);

// The saved choice, or the defaults when the database has none.
SpeechPreferences load_speech_preferences(MailStore& store);
[[nodiscard]] bool save_speech_preferences(MailStore& store, const SpeechPreferences& p);

}  // namespace qv
