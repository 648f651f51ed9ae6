#include "view/gl_query.h"

#include "core/gl_api.h"

#include <cstring>

bool ExtensionNamed(const char* list, const char* extension)
{
    if (!list)
        return false;
    const std::size_t length = std::strlen(extension);
    for (const char* at = std::strstr(list, extension); at; at = std::strstr(at + length, extension)) {
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    }
    return false;
}

bool GlExtensionOffered(const char* extension)
{
    return ExtensionNamed(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), extension);
}

std::vector<std::uint8_t> ReadPixels(const PixelRect& part, int channels)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(part.width) * part.height * channels);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(part.x, part.y, part.width, part.height, channels == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE,
                 pixels.data());
    glPopClientAttrib();
    return pixels;
}
