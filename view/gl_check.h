// GL errors, looked at by the hosts once per frame rather than after every call: the first
// error of each kind is turned into words once, on stderr; repeats of a kind stay quiet so
// that a fault in every frame cannot flood the terminal twenty times a second.
#pragma once

#include "core/gl_api.h"

#include <cstdio>
#include <vector>

class CGlErrorCheck {
public:
    // With a context current: empties GL's error flags and writes one line to out for each
    // kind not reported before, naming where it was seen. Returns the errors that were pending.
    int Check(const char* where, std::FILE* out = stderr);
    // The two halves of Check, for a host that must first find out whether the errors were
    // its own: empties GL's error flags and returns them; then writes the new kinds among them.
    static std::vector<GLenum> TakePending();
    void Report(const std::vector<GLenum>& errors, const char* where, std::FILE* out = stderr);

private:
    std::vector<GLenum> m_reported;
};
