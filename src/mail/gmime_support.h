#pragma once

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include <memory>

namespace qv::mail {

// g_mime_init() for the whole process, exactly once, whichever thread comes first.
void ensure_gmime();

struct GObjectUnref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};

// Owns one reference to a GMime object (streams, parsers, messages, parts we created).
template <typename T>
using GRef = std::unique_ptr<T, GObjectUnref>;

}  // namespace qv::mail
