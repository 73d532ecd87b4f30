#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace qv {

class Feedback;

// How many characters one utterance of a long text holds.
inline constexpr int kSpeechPieceLength = 100;

// Cuts a text into consecutive pieces of at most `length` characters as a listener hears them:
// a character is a grapheme cluster, so a surrogate pair, a base letter with its combining marks
// or an emoji sequence is never cut apart. Each piece is handed to `piece` as soon as it is cut,
// so the first one can be spoken before the rest of a long text has been looked at.
void for_each_speech_piece(const QString& text, int length,
                           const std::function<void(const QString&)>& piece);
QStringList speech_pieces(const QString& text, int length = kSpeechPieceLength);

// Speaks a text of any length as consecutive utterances of at most 100 characters, in order.
void speak_long_text(Feedback& out, const QString& text);

}  // namespace qv
