// Writing the options back; reading them lies beside it in options.cpp.
#include "settings/options.h"

#include "store/mail_store.h"

namespace qv {

bool Options::write_options(const OptionValues& values) {
    return store_.updateNewsSel(values.news_sel) && store_.updateSignature(values.signature_text) &&
           store_.updateVoiceSec(values.record_seconds);
}

void Options::use(const OptionValues& values) {
    state_.signature_text = values.signature_text;
    state_.record_seconds = values.record_seconds;
}

}  // namespace qv
