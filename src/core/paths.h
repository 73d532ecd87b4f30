#pragma once

#include <QString>

namespace qv {

// Where things lie: the program with its help files and recorder, the lasting data, and the mail
// directory inside the data directory.
struct Paths {
    QString program_dir;
    QString data_dir;
    QString mail_dir;
};

}  // namespace qv
