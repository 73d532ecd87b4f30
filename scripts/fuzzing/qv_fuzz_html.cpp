// libFuzzer: any bytes as an HTML body, read for its declared charset and made into text.
#include "mail/html_text.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    qv::mail::html_declared_charset(bytes);
    qv::mail::html_to_text(QString::fromUtf8(bytes));
    return 0;
}
