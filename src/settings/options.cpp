#include "settings/options.h"

#include "store/mail_store.h"

#include <cstdio>

namespace qv {

namespace {

void missing_row(const char* table) {
    std::fprintf(stderr, "quorvel: the option table '%s' has no row; its value is unchanged\n",
                 table);
}

}  // namespace

Options::Options(OptionState& state, MailStore& store, QObject* parent)
    : QObject(parent), state_(state), store_(store) {}

OptionValues Options::read_options() {
    OptionValues values;
    if (const auto news = store_.news()) {
        values.news_sel = news->sel;
    } else {
        missing_row("news");
    }
    if (const auto signature = store_.signature()) {
        state_.signature_text = signature->signature;
    } else {
        missing_row("signature");
    }
    if (const auto voice = store_.voice()) {
        state_.record_seconds = voice->sec;
        values.voice_file = voice->voice_file;
    } else {
        missing_row("voice");
        values.voice_file = state_.voice_file;
    }
    values.signature_text = state_.signature_text;
    values.record_seconds = state_.record_seconds;
    return values;
}

void Options::read_startup_options() { state_.voice_file = read_options().voice_file; }

}  // namespace qv
