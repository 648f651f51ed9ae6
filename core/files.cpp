#include "core/files.h"

#include <algorithm>

std::string ShownName(const std::string& name)
{
    const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
    if (std::none_of(name.begin(), name.end(), control))
        return name;
    std::string shown;
    for (const unsigned char c : name) {
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '\\') {
            shown += "\\\\";
        } else if (control(c)) {
            static const char kDigits[] = "0123456789abcdef";
            shown += {'\\', 'x', kDigits[c >> 4], kDigits[c & 15]};
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
