#pragma once

#include "mail/mail_component.h"

#include <QString>

#include <optional>

namespace qv::mail {

// Splits a saved mail (RFC 5322 / MIME) into its parts with GMime. The structure and transfer
// encodings are GMime's job; every text is decoded here from the raw bytes (see
// charset_decoder.h), because GMime's iconv cannot read the Japanese mail people receive.
// The body is the first text/plain part that is not an attachment, else the first text/html one.
// The first attachment is written into attachment_dir(dir, file) under a safe name (see
// attachment_file_name), never replacing another file.
//
// Whatever can be read is used: a file without a usable header (a digest part sent on its own,
// a text file) is a mail without sender or subject whose body is the whole file. Only a file
// that cannot be read at all (missing, empty, not a file) gives nothing.
class MailReader {
  public:
    // nullopt when the file cannot be read; error() says why. A mail whose attachment could not
    // be saved is still read; error() then says what went wrong.
    std::optional<ParsedMail> read(const QString& file, const QString& dir);
    const QString& error() const { return error_; }

  private:
    QString error_;
};

}  // namespace qv::mail
