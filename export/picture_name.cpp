#include "export/picture_name.h"

#include "core/files.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

bool EndsWith(const std::string& name, const char* ending)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string tail = ending;
    return lower.size() > tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
}

const char* const kNames = "--render writes FILE.png, a sequence such as frame%03d.png, an animation FILE.webp, "
                           "FILE.mp4, FILE.gif or FILE.webm, or - for a PNG on standard output";

// The animations, by the ending of their names.
const struct {
    const char* ending;
    PictureName::Kind kind;
} kAnimations[] = {
    {".webp", PictureName::Kind::Webp},
    {".mp4", PictureName::Kind::Mp4},
    {".gif", PictureName::Kind::Gif},
    {".webm", PictureName::Kind::Webm},
};

}  // namespace

std::string ReadPictureName(const std::string& name, PictureName& picture)
{
    picture = PictureName{};
    if (name == "-")
        return {};
    const bool png = EndsWith(name, ".png");
    if (!png) {
        const auto animation = std::find_if(std::begin(kAnimations), std::end(kAnimations),
                                            [&](const auto& a) { return EndsWith(name, a.ending); });
        if (animation == std::end(kAnimations))
            return std::string(kNames) + ", not '" + ShownName(name) + "'";
        picture.kind = animation->kind;
    }
    // The name is read here, never handed to printf: "%%" is a percent sign, and the one
    // frame number is "%d" with an optional 0 and a width of up to two digits.
    std::string* part = &picture.before;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            *part += name[i];
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%') {
            *part += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        const bool zeros = j < name.size() && name[j] == '0';
        j += zeros ? 1 : 0;
        int digits = 0;
        std::size_t widthChars = 0;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j])) && widthChars < 2) {
            digits = digits * 10 + (name[j] - '0');
            ++j;
            ++widthChars;
        }
        if (j >= name.size() || name[j] != 'd' || part == &picture.after || !png)
            return std::string(kNames) +
                   "; a sequence's name holds one frame number (%d, %03d) and ends in .png, not '" + ShownName(name) +
                   "'";
        picture.kind = PictureName::Kind::Sequence;
        picture.zeros = zeros;
        picture.digits = digits;
        part = &picture.after;
        i = j;
    }
    if (picture.kind != PictureName::Kind::Sequence) {
        picture.before.clear();
        picture.after.clear();
    }
    return {};
}

std::string FrameFileName(const PictureName& picture, const std::string& name, int frame)
{
    if (picture.kind != PictureName::Kind::Sequence)
        return name;
    // Padded to the width, which may be up to 99.
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < picture.digits)
        number.insert(0, picture.digits - number.size(), picture.zeros ? '0' : ' ');
    return picture.before + number + picture.after;
}
