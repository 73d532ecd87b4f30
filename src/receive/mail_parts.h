#pragma once

#include <QString>

namespace qv {

// Whether a file in the mail directory is a mail the component saved (as opposed to an
// attachment of one, a voice recording or one of the component's own hidden files).
bool is_saved_mail_name(const QString& name);

}  // namespace qv
