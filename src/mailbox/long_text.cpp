#include "mailbox/long_text.h"

#include "core/feedback.h"

#include <QTextBoundaryFinder>

namespace qv {

namespace {

// The boundary finder looks at the whole text it is given; a window a little longer than one
// piece keeps the first utterance of a very long text quick. The margin covers the longest
// cluster a real text holds (an emoji family, a letter under many marks).
constexpr qsizetype kWindowMargin = 64;

// Code units of the first `length` clusters of text[from...] (fewer at the end of the text).
qsizetype piece_end(const QString& text, qsizetype from, int length) {
    qsizetype window = qsizetype(length) * 4 + kWindowMargin;
    for (;;) {
        const qsizetype available = text.size() - from;
        const bool whole = window >= available;
        const QStringView view = QStringView(text).mid(from, whole ? available : window);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, view.data(),
                                   qsizetype(view.size()));
        int clusters = 0;
        qsizetype end = 0;
        while (clusters < length) {
            const qsizetype next = finder.toNextBoundary();
            if (next < 0) break;
            end = next;
            ++clusters;
        }
        // The window's last cluster may continue past the window: only trust a cut that leaves
        // a margin behind it, or one at the real end of the text.
        if (whole || (clusters == length && end <= view.size() - kWindowMargin)) {
            return end;
        }
        window *= 2;
    }
}

}  // namespace

void for_each_speech_piece(const QString& text, int length,
                           const std::function<void(const QString&)>& piece) {
    if (text.isEmpty() || length <= 0) return;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype size = piece_end(text, from, length);
        if (size <= 0) break;
        piece(text.mid(from, size));
        from += size;
    }
}

QStringList speech_pieces(const QString& text, int length) {
    QStringList pieces;
    for_each_speech_piece(text, length, [&pieces](const QString& p) { pieces << p; });
    return pieces;
}

void speak_long_text(Feedback& out, const QString& text) {
    for_each_speech_piece(text, kSpeechPieceLength, [&out](const QString& p) { out.speak(p); });
}

}  // namespace qv
