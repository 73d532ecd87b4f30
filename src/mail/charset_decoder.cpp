#include "mail/charset_decoder.h"

#include <QStringDecoder>

namespace qv::mail {
namespace {

constexpr char kEsc = 0x1B;
constexpr char kShiftOut = 0x0E;
constexpr char kShiftIn = 0x0F;
// 〓 (geta mark), the traditional stand-in for a character CP932 cannot hold.
constexpr char kGeta[] = "\x81\xAC";

bool is_ascii_text(QByteArrayView b) {
    for (char c : b) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == kEsc || c == kShiftOut || c == kShiftIn) {
            return false;
        }
    }
    return true;
}

bool has_escape(QByteArrayView b) { return b.contains(kEsc) || b.contains(kShiftOut); }

// Decodes with one of the converters Qt knows (ICU behind it); ok=false on any invalid byte.
QString decode_with(const char* name, QByteArrayView b, bool* ok) {
    QStringDecoder decoder(name);
    if (!decoder.isValid()) {
        *ok = false;
        return {};
    }
    QString text = decoder.decode(b);
    *ok = !decoder.hasError();
    return text;
}

QString decode_utf8(QByteArrayView b, bool* ok) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(b);
    *ok = !decoder.hasError();
    return text;
}

QString decode_cp932(QByteArrayView b, bool* ok) { return decode_with("windows-31j", b, ok); }

void append_jis_pair_as_sjis(QByteArray& out, unsigned char j1, unsigned char j2) {
    const unsigned char s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
    const unsigned char s2 = j2 + ((j1 & 1) ? (j2 < 0x60 ? 0x1F : 0x20) : 0x7E);
    out.append(static_cast<char>(s1));
    out.append(static_cast<char>(s2));
}

bool in_gl(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

// EUC-JP as Windows writes it (CP51932) rewritten as CP932; false when the bytes are not EUC-JP
// or use JIS X 0212, which CP932 cannot hold.
bool euc_to_cp932(QByteArrayView b, QByteArray* out) {
    out->reserve(b.size());
    for (qsizetype i = 0; i < b.size(); ++i) {
        const auto c = static_cast<unsigned char>(b[i]);
        if (c < 0x80) {
            out->append(static_cast<char>(c));
            continue;
        }
        if (i + 1 >= b.size()) {
            return false;
        }
        const auto d = static_cast<unsigned char>(b[i + 1]);
        if (c == 0x8E && d >= 0xA1 && d <= 0xDF) {
            out->append(static_cast<char>(d));
        } else if (c >= 0xA1 && c <= 0xFE && d >= 0xA1 && d <= 0xFE) {
            append_jis_pair_as_sjis(*out, c - 0x80, d - 0x80);
        } else {
            return false;
        }
        ++i;
    }
    return true;
}

QString decode_euc(QByteArrayView b, bool* ok) {
    QByteArray sjis;
    if (euc_to_cp932(b, &sjis)) {
        return decode_cp932(sjis, ok);
    }
    // JIS X 0212 (three bytes from 0x8F on) needs the full EUC-JP table; anything else that is
    // not EUC-JP must not pass as such (the table also takes C1 controls).
    if (!b.contains('\x8f')) {
        *ok = false;
        return {};
    }
    return decode_with("EUC-JP", b, ok);
}

QString decode_jis(QByteArrayView b) {
    bool ok = false;
    return decode_cp932(iso2022jp_to_cp932(b), &ok);
}

QByteArray normalized_label(QByteArrayView charset) {
    QByteArray label = charset.trimmed().toByteArray().toLower();
    label.replace('"', QByteArray());
    label.replace('\'', QByteArray());
    return label.trimmed();
}

bool is_jis_label(const QByteArray& l) {
    return l.contains("2022-jp") || l.startsWith("cp5022") || l == "csiso2022jp" || l == "jis" ||
           l == "csjisencoding";
}
bool is_sjis_label(const QByteArray& l) {
    return l.startsWith("shift_jis") || l.startsWith("shift-jis") || l == "sjis" || l == "x-sjis" ||
           l == "ms_kanji" || l == "csshiftjis" || l == "cp932" || l == "ms932" ||
           l == "windows-31j" || l == "x-ms-cp932" || l == "ibm-943" || l == "windows-932";
}
bool is_euc_label(const QByteArray& l) {
    return l == "euc-jp" || l == "x-euc-jp" || l == "eucjp" || l == "euc_jp" ||
           l == "cseucpkdfmtjapanese" || l == "cp51932" || l.startsWith("euc-jis");
}
bool is_utf8_label(const QByteArray& l) {
    return l == "utf-8" || l == "utf8" || l == "unicode-1-1-utf-8" || l == "x-unicode20utf8";
}
bool is_ascii_label(const QByteArray& l) {
    return l == "us-ascii" || l == "ascii" || l == "ansi_x3.4-1968" || l == "iso646-us" ||
           l == "us" || l == "7bit" || l == "8bit" || l == "default" || l == "unknown-8bit" ||
           l == "x-unknown" || l == "unknown";
}
bool is_wide_label(const QByteArray& l) {
    return l.startsWith("utf-16") || l.startsWith("utf-32") || l.startsWith("ucs") ||
           l.startsWith("utf16") || l.startsWith("utf32");
}

// Labels that say less than the bytes do: GB2312 mail is GBK in practice, and so on.
const char* widened(const QByteArray& l) {
    if (l == "gb2312" || l == "gbk" || l == "x-gbk" || l == "euc-cn" || l == "cp936") {
        return "GB18030";
    }
    if (l == "ks_c_5601-1987" || l == "euc-kr" || l == "ks_c_5601" || l == "cp949") {
        return "windows-949";
    }
    if (l == "iso-8859-1" || l == "latin1" || l == "iso_8859-1") {
        return "windows-1252";
    }
    return nullptr;
}

}  // namespace

QByteArray iso2022jp_to_cp932(QByteArrayView b) {
    enum class Mode { Ascii, Kana, Kanji, Foreign };
    Mode mode = Mode::Ascii;
    Mode before_shift_out = Mode::Ascii;
    QByteArray out;
    out.reserve(b.size());
    const qsizetype n = b.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(b[i]);
        const auto at = [&](qsizetype k) -> char { return i + k < n ? b[i + k] : '\0'; };
        if (c == kEsc) {
            const char a = at(1);
            const char d = at(2);
            if (a == '(' && (d == 'B' || d == 'J' || d == 'H')) {
                mode = Mode::Ascii;
                i += 2;
            } else if (a == '(' && d == 'I') {
                mode = Mode::Kana;
                i += 2;
            } else if (a == '$' && (d == '@' || d == 'B')) {
                mode = Mode::Kanji;
                i += 2;
            } else if (a == '$' && d == '(') {
                const char e = at(3);
                mode = (e == 'B' || e == '@' || e == 'Q' || e == 'O') ? Mode::Kanji : Mode::Foreign;
                i += 3;
            } else if (a == '&' && d == '@') {
                i += 2;  // announces the 1990 revision of JIS X 0208, which changes nothing here
            }
            // any other escape: drop the ESC, keep what follows as text
            continue;
        }
        if (c == static_cast<unsigned char>(kShiftOut)) {
            if (mode != Mode::Kana) {
                before_shift_out = mode;
            }
            mode = Mode::Kana;
            continue;
        }
        if (c == static_cast<unsigned char>(kShiftIn)) {
            mode = before_shift_out == Mode::Kana ? Mode::Ascii : before_shift_out;
            continue;
        }
        if (c == '\r' || c == '\n') {
            mode = Mode::Ascii;  // a line never continues a shifted state in mail
            out.append(static_cast<char>(c));
            continue;
        }
        if (c >= 0x80) {
            out.append(static_cast<char>(c));  // 8-bit katakana, or Shift_JIS under the wrong label
            continue;
        }
        switch (mode) {
            case Mode::Ascii:
                out.append(static_cast<char>(c));
                break;
            case Mode::Kana:
                out.append(static_cast<char>(c >= 0x21 && c <= 0x5F ? c + 0x80 : c));
                break;
            case Mode::Kanji:
            case Mode::Foreign: {
                const auto d = static_cast<unsigned char>(at(1));
                if (in_gl(c) && in_gl(d)) {
                    if (mode == Mode::Kanji) {
                        append_jis_pair_as_sjis(out, c, d);
                    } else {
                        out.append(kGeta, 2);
                    }
                    ++i;
                } else {
                    out.append(static_cast<char>(c));
                }
                break;
            }
        }
    }
    return out;
}

QString decode_unlabelled(QByteArrayView b) {
    if (is_ascii_text(b)) {
        return QString::fromLatin1(b);
    }
    if (has_escape(b)) {
        return decode_jis(b);
    }
    bool ok = false;
    QString text = decode_utf8(b, &ok);
    if (ok) {
        return text;
    }
    text = decode_euc(b, &ok);
    if (ok) {
        return text;
    }
    return decode_cp932(b, &ok);  // the best guess even with a few bad bytes
}

QString decode_charset(QByteArrayView b, QByteArrayView charset) {
    const QByteArray label = normalized_label(charset);
    if (label.isEmpty() || is_ascii_label(label)) {
        return decode_unlabelled(b);
    }
    if (is_wide_label(label)) {
        bool ok = false;
        QString text = decode_with(label.constData(), b, &ok);
        return text.isNull() ? decode_unlabelled(b) : text;
    }
    if (is_ascii_text(b)) {
        return QString::fromLatin1(b);
    }
    bool ok = false;
    if (is_jis_label(label)) {
        return has_escape(b) ? decode_jis(b) : decode_unlabelled(b);
    }
    QString text;
    if (is_utf8_label(label)) {
        text = decode_utf8(b, &ok);
    } else if (is_sjis_label(label)) {
        text = decode_cp932(b, &ok);
    } else if (is_euc_label(label)) {
        text = decode_euc(b, &ok);
    } else {
        const char* name = widened(label);
        text = decode_with(name ? name : label.constData(), b, &ok);
        if (!text.isNull() || ok) {
            return text;  // other scripts: trust the label, there is nothing better to go on
        }
        return decode_unlabelled(b);
    }
    if (ok) {
        return text;
    }
    // The label lied. Take the guess if it reads cleanly, else the labelled reading.
    bool guessed_ok = false;
    QString guess;
    if (has_escape(b)) {
        return decode_jis(b);
    }
    guess = decode_utf8(b, &guessed_ok);
    if (!guessed_ok) {
        guess = decode_euc(b, &guessed_ok);
    }
    if (!guessed_ok) {
        guess = decode_cp932(b, &guessed_ok);
    }
    return guessed_ok ? guess : text;
}

}  // namespace qv::mail
