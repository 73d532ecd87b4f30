#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace qv::mail {

// Turns the bytes of a mail (already transfer-decoded) into text, the way Japanese mail has to be
// read in practice rather than by the letter of the labels:
//  - ISO-2022-JP is read as Windows writes it (CP50220: NEC and IBM extensions such as ①, Ⅱ,
//    ㈱, 髙, and ～ as U+FF5E), Shift_JIS as CP932;
//  - a label that lies (ISO-2022-JP on UTF-8 bytes, UTF-8 on Shift_JIS bytes) is caught;
//  - no label at all is guessed: ISO-2022-JP when escapes are present, else UTF-8, EUC-JP, CP932.
// glibc's iconv (behind GMime) rejects the extensions, which is why this does not use it.
QString decode_charset(QByteArrayView bytes, QByteArrayView charset);

// The same for bytes that carry no label.
QString decode_unlabelled(QByteArrayView bytes);

// ISO-2022-JP (with the CP50220 extensions, JIS X 0201 katakana by escape or SO/SI, and stray
// 8-bit bytes passed through) rewritten as CP932 bytes.
QByteArray iso2022jp_to_cp932(QByteArrayView bytes);

}  // namespace qv::mail
