#include "mp3_encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <vector>

namespace qv::recorder {

namespace {

// LAME's own worst case for one call is 1.25 * samples + 7200 bytes.
constexpr size_t kChunk = 8192;
constexpr size_t kChunkOutput = kChunk + kChunk / 4 + 7200;

bool setError(QString* error, const QString& message) {
    if (error) *error = message;
    return false;
}

}  // namespace

Mp3Encoder::~Mp3Encoder() {
    if (lame_) lame_close(lame_);
}

bool Mp3Encoder::open(const Settings& s, QString* error) {
    if (lame_) return setError(error, QStringLiteral("encoder already open"));
    lame_ = lame_init();
    if (!lame_) return setError(error, QStringLiteral("cannot start the MP3 encoder"));
    lame_set_num_channels(lame_, 1);
    lame_set_in_samplerate(lame_, s.inputRate);
    lame_set_out_samplerate(lame_, s.outputRate);
    lame_set_mode(lame_, MONO);
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, s.kbps);
    lame_set_quality(lame_, s.quality);
    lame_set_bWriteVbrTag(lame_, 1);
    if (lame_init_params(lame_) < 0) {
        return setError(error,
                        QStringLiteral("the MP3 encoder refused %1 Hz in, %2 Hz out, %3 kbit/s")
                            .arg(s.inputRate)
                            .arg(s.outputRate)
                            .arg(s.kbps));
    }
    return true;
}

bool Mp3Encoder::encode(const int16_t* samples, size_t count, QString* error) {
    if (!lame_ || finished_) return setError(error, QStringLiteral("encoder not open"));
    std::vector<unsigned char> out(kChunkOutput);
    while (count > 0) {
        const size_t n = std::min(count, kChunk);
        // LAME's prototype takes non-const input it never writes to.
        short* pcm = const_cast<short*>(reinterpret_cast<const short*>(samples));
        const int written =
            lame_encode_buffer(lame_, pcm, nullptr, int(n), out.data(), int(out.size()));
        if (written < 0) {
            return setError(error, QStringLiteral("MP3 encoding failed (%1)").arg(written));
        }
        mp3_.append(reinterpret_cast<const char*>(out.data()), written);
        samples += n;
        count -= n;
    }
    return true;
}

bool Mp3Encoder::finish(QString* error) {
    if (!lame_ || finished_) return setError(error, QStringLiteral("encoder not open"));
    finished_ = true;
    std::vector<unsigned char> out(kChunkOutput);
    const int written = lame_encode_flush(lame_, out.data(), int(out.size()));
    if (written < 0) return setError(error, QStringLiteral("MP3 flush failed (%1)").arg(written));
    mp3_.append(reinterpret_cast<const char*>(out.data()), written);

    const size_t tagSize = lame_get_lametag_frame(lame_, out.data(), out.size());
    if (tagSize > out.size()) return setError(error, QStringLiteral("LAME tag does not fit"));
    if (tagSize > size_t(mp3_.size()))
        return setError(error, QStringLiteral("no room for LAME tag"));
    std::copy_n(out.data(), tagSize, mp3_.begin());
    return true;
}

}  // namespace qv::recorder
