#pragma once

namespace qv {

// Where the receiving of mail may be cut short by a kill -9, for the tests that check that
// nothing is lost or received twice whenever that happens. The environment variable
// QV_KILL_AT names one point, optionally with the time it is reached that counts
// ("after-rename" is the first time, "after-retr:3" the third); reaching it kills the process
// with SIGKILL. Read once; without the variable a point costs one test of a flag.
void kill_point_reached(const char* point);
bool kill_points_armed();

inline void kill_point(const char* point) {
    if (kill_points_armed()) [[unlikely]]
        kill_point_reached(point);
}

}  // namespace qv
