#pragma once

#include <QString>

#include <optional>

namespace qv::mail {

// What a saved mail says, decoded to text.
struct MailContent {
    QString subject;
    QString from;        // "Name <addr>", or whichever of the two there is
    QString date;        // the Date header as written
    QString body;        // lines end in "\n"; HTML mail as plain text
    QString attachment;  // absolute path of the saved first attachment; empty if none
};

// Splits a saved mail (RFC 5322 / MIME) into its parts with GMime. The structure and transfer
// encodings are GMime's job; every text is decoded here from the raw bytes (see
// charset_decoder.h), because GMime's iconv cannot read the Japanese mail people receive.
// The body is the first text/plain part that is not an attachment, else the first text/html one.
// The first attachment is written into `attachment_dir` under its own name, made safe and never
// replacing another file.
class MailReader {
  public:
    // nullopt when the file cannot be read or is not a mail at all; error() says why. A mail
    // whose attachment could not be saved is still read; error() then says what went wrong.
    std::optional<MailContent> read(const QString& file, const QString& attachment_dir);
    const QString& error() const { return error_; }

  private:
    QString error_;
};

}  // namespace qv::mail
