#pragma once

// A cut candidate: the two parallel lines v = lo and v = hi (horizontal) or
// u = lo and u = hi (vertical), always lo < hi.
struct CutCandidate {
    double lo;
    double hi;
    bool horizontal;
};
