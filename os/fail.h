// How the program says why it cannot go on: one line on the standard error, "lumetta: LINE",
// and the status it ends with.
#pragma once

#include <cstdio>
#include <string>

inline int Fail(const std::string& line, int status = 1)
{
    std::fprintf(stderr, "lumetta: %s\n", line.c_str());
    return status;
}
