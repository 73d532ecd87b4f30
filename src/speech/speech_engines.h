#pragma once

#include "speech/speech_engine.h"

#include <QString>

#include <cstdio>
#include <vector>

namespace qv {

// The voices to try, best first, for a --speech mode:
//   "auto"       Open JTalk, then Qt TextToSpeech (speechd, then flite; Japanese voices only),
//                then the transcript.
//   "openjtalk"  Open JTalk, then the transcript.
//   "qt"         Qt TextToSpeech (speechd, then flite), then the transcript.
//   "transcript" the transcript only (transcriptOut), for braille users and tests.
// A mode that asks for a voice still ends in the transcript: when that voice cannot work here the
// channel says why on stderr and writes the text, which is better for a blind user than a program
// that has gone silent. Anything that is not a speech mode counts as "auto"; callers check the
// user's word with is_speech_mode first.
std::vector<SpeechEngineFactory> make_speech_engines(const QString& mode,
                                                     std::FILE* transcriptOut = stdout);

bool is_speech_mode(const QString& mode);

}  // namespace qv
