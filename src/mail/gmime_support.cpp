#include "mail/gmime_support.h"

#include <mutex>

namespace qv::mail {

void ensure_gmime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

}  // namespace qv::mail
