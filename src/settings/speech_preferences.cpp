#include "settings/speech_preferences.h"

#include "store/mail_store.h"

#include <algorithm>

namespace qv {

SpeechPreferences within_limits(SpeechPreferences p) {
    p.voice.rate = std::clamp(p.voice.rate, kMinRate, kMaxRate);
    p.voice.volume = std::clamp(p.voice.volume, kMinVolume, kMaxVolume);
    return p;
}

SpeechPreferences load_speech_preferences(MailStore& store) {
    SpeechPreferences p;
    if (const auto row = store.speechSettings()) {
        p.voice.rate = row->rate;
        p.voice.volume = row->volume;
        p.voice.voice = row->voice;
        p.wait_cue = row->wait_cue;
        p.move_speech = row->move_speech;
    }
    return within_limits(p);
}

bool save_speech_preferences(MailStore& store, const SpeechPreferences& p) {
    SpeechRow row;
    row.rate = p.voice.rate;
    row.volume = p.voice.volume;
    row.voice = p.voice.voice;
    row.wait_cue = p.wait_cue;
    row.move_speech = p.move_speech;
    return store.updateSpeechSettings(row);
}

}  // namespace qv
