// The plug-in's two exported entry points; everything else stays hidden.
#include "tracker/interface.hpp"

extern "C" {

QUADTRACK_API void CreateCompute(Interface** out) { *out = new track::trackview(); }

QUADTRACK_API void DestroyCompute(Interface* p) {
    if (p == nullptr) return;
    p->kill();
    delete p;
}
}
