#include "mail/header_decoder.h"

#include "mail/charset_decoder.h"

#include <algorithm>
#include <map>
#include <vector>

namespace qv::mail {
namespace {

// A header longer than this is junk or an attack; what follows it is not worth reading.
constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
// Encoded words are at most 75 characters; senders that break the rule rarely pass a few hundred.
constexpr qsizetype kMaxEncodedText = 4096;
constexpr qsizetype kMaxCharsetName = 64;

QByteArray unfolded(QByteArrayView raw) {
    QByteArray out;
    const qsizetype n = std::min(raw.size(), kMaxHeaderBytes);
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const char c = raw[i];
        if (c != '\r' && c != '\n') {
            out.append(c == '\t' ? ' ' : c);
        }
    }
    return out;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_charset_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':' || c == '*';
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

QByteArray decode_q(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
                   hex_value(text[i + 2]) >= 0) {
            out.append(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

QByteArray percent_decoded(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
            hex_value(text[i + 2]) >= 0) {
            out.append(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
            i += 2;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

struct Piece {
    bool encoded = false;
    QByteArray charset;  // lower-case, without an RFC 2231 language
    QByteArray bytes;
};

// Splits a header value into raw runs and encoded words (already B/Q-decoded to bytes).
std::vector<Piece> split_encoded_words(const QByteArray& s) {
    const qsizetype n = s.size();
    // next_q[i]: the first '?' at or after i, so that no search ever runs twice over the value.
    std::vector<qsizetype> next_q(n + 1, n);
    for (qsizetype i = n - 1; i >= 0; --i) {
        next_q[i] = s[i] == '?' ? i : next_q[i + 1];
    }
    std::vector<Piece> pieces;
    qsizetype raw_start = 0;
    qsizetype i = 0;
    while (i + 1 < n) {
        if (s[i] != '=' || s[i + 1] != '?') {
            ++i;
            continue;
        }
        const qsizetype q1 = next_q[i + 2];
        const qsizetype cs_len = q1 - (i + 2);
        bool ok = q1 + 3 < n && cs_len > 0 && cs_len <= kMaxCharsetName && s[q1 + 2] == '?';
        for (qsizetype k = i + 2; ok && k < q1; ++k) {
            ok = is_charset_char(s[k]);
        }
        const char enc = ok ? s[q1 + 1] : '\0';
        ok = ok && (enc == 'B' || enc == 'b' || enc == 'Q' || enc == 'q');
        const qsizetype text_start = q1 + 3;
        const qsizetype q2 = ok ? next_q[text_start] : n;
        ok = ok && q2 + 1 < n && s[q2 + 1] == '=' && q2 - text_start <= kMaxEncodedText;
        if (!ok) {
            i += 2;
            continue;
        }
        if (i > raw_start) {
            pieces.push_back({false, {}, s.mid(raw_start, i - raw_start)});
        }
        QByteArray charset = s.mid(i + 2, cs_len).toLower();
        if (const qsizetype star = charset.indexOf('*'); star >= 0) {
            charset.truncate(star);
        }
        const QByteArrayView text(s.constData() + text_start, q2 - text_start);
        QByteArray bytes = (enc == 'B' || enc == 'b') ? QByteArray::fromBase64(text.toByteArray())
                                                      : decode_q(text);
        pieces.push_back({true, std::move(charset), std::move(bytes)});
        i = q2 + 2;
        raw_start = i;
    }
    if (raw_start < n) {
        pieces.push_back({false, {}, s.mid(raw_start)});
    }
    return pieces;
}

bool all_space(const QByteArray& b) {
    return std::all_of(b.begin(), b.end(), [](char c) { return is_space(c); });
}

QString decode_unfolded(const QByteArray& s) {
    if (!s.contains("=?")) {
        return decode_unlabelled(s);
    }
    std::vector<Piece> pieces = split_encoded_words(s);
    // Whitespace between two encoded words is not part of the text; words of one charset are
    // joined so that a character split across them comes out whole.
    std::vector<Piece> joined;
    for (size_t k = 0; k < pieces.size(); ++k) {
        Piece& p = pieces[k];
        if (!p.encoded && all_space(p.bytes) && !joined.empty() && joined.back().encoded &&
            k + 1 < pieces.size() && pieces[k + 1].encoded) {
            continue;
        }
        if (p.encoded && !joined.empty() && joined.back().encoded &&
            joined.back().charset == p.charset) {
            joined.back().bytes += p.bytes;
            continue;
        }
        joined.push_back(std::move(p));
    }
    QString out;
    for (const Piece& p : joined) {
        out += p.encoded ? decode_charset(p.bytes, p.charset) : decode_unlabelled(p.bytes);
    }
    return out;
}

QString simplified_line(QString text) {
    // Control characters (NUL included) have no business in a one-line header.
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            c = QLatin1Char(' ');
        }
    }
    return text.trimmed();
}

// Removes the quoting of a display name: quotes dropped, backslash escapes resolved (except
// after an 8-bit byte, where the backslash is the second byte of a Shift_JIS character).
QByteArray unquoted(QByteArrayView s) {
    QByteArray out;
    out.reserve(s.size());
    bool in_quote = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            in_quote = !in_quote;
            continue;
        }
        const bool after_8bit = i > 0 && static_cast<unsigned char>(s[i - 1]) >= 0x80;
        if (c == '\\' && in_quote && !after_8bit && i + 1 < s.size()) {
            out.append(s[++i]);
            continue;
        }
        out.append(c);
    }
    return out;
}

struct Param {
    QByteArray name;  // lower-case
    QByteArray value;
};

std::vector<Param> parse_params(const QByteArray& s) {
    std::vector<Param> params;
    const qsizetype n = s.size();
    qsizetype i = 0;
    // skip the main value (it may itself hold a quoted string)
    bool in_quote = false;
    for (; i < n; ++i) {
        if (s[i] == '"') in_quote = !in_quote;
        if (s[i] == ';' && !in_quote) break;
    }
    while (i < n) {
        while (i < n && (is_space(s[i]) || s[i] == ';')) ++i;
        const qsizetype name_start = i;
        while (i < n && s[i] != '=' && s[i] != ';') ++i;
        QByteArray name = s.mid(name_start, i - name_start).trimmed().toLower();
        if (i >= n || s[i] == ';') {
            continue;  // a bare word: nothing to keep
        }
        ++i;  // '='
        while (i < n && is_space(s[i])) ++i;
        QByteArray value;
        if (i < n && s[i] == '"') {
            ++i;
            while (i < n && s[i] != '"') {
                const bool after_8bit = i > 0 && static_cast<unsigned char>(s[i - 1]) >= 0x80;
                if (s[i] == '\\' && !after_8bit && i + 1 < n) {
                    ++i;
                }
                value.append(s[i]);
                ++i;
            }
            ++i;  // closing quote
            while (i < n && s[i] != ';') ++i;
        } else {
            const qsizetype start = i;
            while (i < n && s[i] != ';') ++i;
            value = s.mid(start, i - start).trimmed();
        }
        if (!name.isEmpty()) {
            params.push_back({std::move(name), std::move(value)});
        }
    }
    return params;
}

// charset'language'percent-encoded → (charset, bytes)
std::pair<QByteArray, QByteArray> split_extended(const QByteArray& v) {
    const qsizetype q1 = v.indexOf('\'');
    const qsizetype q2 = q1 >= 0 ? v.indexOf('\'', q1 + 1) : -1;
    if (q2 < 0) {
        return {QByteArray(), percent_decoded(v)};
    }
    return {v.left(q1), percent_decoded(QByteArrayView(v).sliced(q2 + 1))};
}

QString decode_plain_value(const QByteArray& v) {
    return v.contains("=?") ? decode_unfolded(v) : decode_unlabelled(v);
}

}  // namespace

QString decode_header_text(QByteArrayView raw) {
    return simplified_line(decode_unfolded(unfolded(raw)));
}

QString decode_mailbox(QByteArrayView raw) {
    const QByteArray s = unfolded(raw);
    // The first mailbox: up to a top-level comma, once an address has been seen.
    qsizetype end = s.size();
    {
        bool in_quote = false;
        int paren = 0;
        bool in_angle = false;
        bool seen_at = false;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '\\' && in_quote) {
                ++i;
            } else if (c == '"' && paren == 0) {
                in_quote = !in_quote;
            } else if (!in_quote && c == '(') {
                ++paren;
            } else if (!in_quote && c == ')' && paren > 0) {
                --paren;
            } else if (!in_quote && paren == 0 && c == '<') {
                in_angle = true;
            } else if (!in_quote && paren == 0 && c == '>') {
                in_angle = false;
            } else if (c == '@' && !in_quote && paren == 0) {
                seen_at = true;
            } else if (c == ',' && !in_quote && paren == 0 && !in_angle && seen_at) {
                end = i;
                break;
            }
        }
    }
    const QByteArray box = s.left(end);

    QByteArray name_raw;
    QByteArray addr_raw;
    // The angle address: the last top-level '<' (a name may hold one inside quotes).
    qsizetype open = -1;
    bool in_quote = false;
    for (qsizetype i = 0; i < box.size(); ++i) {
        if (box[i] == '"') in_quote = !in_quote;
        if (box[i] == '<' && !in_quote) open = i;
    }
    if (open >= 0) {
        const qsizetype close = box.indexOf('>', open);
        addr_raw = box.mid(open + 1, close < 0 ? -1 : close - open - 1);
        name_raw = box.left(open);
    } else {
        const qsizetype lp = box.indexOf('(');
        const qsizetype rp = lp >= 0 ? box.lastIndexOf(')') : -1;
        if (lp >= 0 && rp > lp) {
            name_raw = box.mid(lp + 1, rp - lp - 1);
            addr_raw = box.left(lp) + box.mid(rp + 1);
        } else if (box.contains('@')) {
            addr_raw = box;
        } else {
            name_raw = box;
        }
    }
    QString name = simplified_line(decode_unfolded(unquoted(name_raw.trimmed())));
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'))) {
        name = name.mid(1, name.size() - 2).trimmed();
    }
    QString addr = simplified_line(decode_unfolded(addr_raw.trimmed()));
    addr.remove(QLatin1Char(' '));
    if (!name.isEmpty() && !addr.isEmpty()) {
        return name + QStringLiteral(" <") + addr + QLatin1Char('>');
    }
    return addr.isEmpty() ? name : addr;
}

QString header_parameter(QByteArrayView raw, QByteArrayView name) {
    const std::vector<Param> params = parse_params(unfolded(raw));
    const QByteArray want = name.toByteArray().toLower();
    const QByteArray ext_name = want + '*';

    const Param* simple = nullptr;
    const Param* extended = nullptr;
    std::map<int, std::pair<const Param*, bool>> sections;  // index → (param, percent-encoded)
    for (const Param& p : params) {
        if (p.name == want) {
            if (!simple) simple = &p;
        } else if (p.name == ext_name) {
            if (!extended) extended = &p;
        } else if (p.name.startsWith(ext_name)) {
            QByteArray rest = p.name.mid(ext_name.size());
            const bool encoded = rest.endsWith('*');
            if (encoded) rest.chop(1);
            bool ok = false;
            const int index = rest.toInt(&ok);
            if (ok && index >= 0 && index < 1000 && !sections.count(index)) {
                sections[index] = {&p, encoded};
            }
        }
    }
    if (!sections.empty() && sections.begin()->first == 0) {
        QByteArray charset;
        QByteArray bytes;
        int expected = 0;
        for (const auto& [index, section] : sections) {
            if (index != expected++) break;  // a gap ends the value
            const auto& [param, encoded] = section;
            if (!encoded) {
                bytes += param->value;
            } else if (index == 0) {
                auto [cs, b] = split_extended(param->value);
                charset = cs;
                bytes += b;
            } else {
                bytes += percent_decoded(param->value);
            }
        }
        if (charset.isEmpty()) {
            return simplified_line(decode_plain_value(bytes));
        }
        return simplified_line(decode_charset(bytes, charset));
    }
    if (extended) {
        auto [charset, bytes] = split_extended(extended->value);
        return simplified_line(charset.isEmpty() ? decode_plain_value(bytes)
                                                 : decode_charset(bytes, charset));
    }
    if (simple) {
        return simplified_line(decode_plain_value(simple->value));
    }
    return {};
}

QByteArray header_main_value(QByteArrayView raw) {
    const QByteArray s = unfolded(raw);
    const qsizetype semi = s.indexOf(';');
    return (semi < 0 ? s : s.left(semi)).trimmed().toLower();
}

}  // namespace qv::mail
