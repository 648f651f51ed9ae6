#include "app/picture_encode.h"

#include <png.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstring>

std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgbBottomUp,
                      std::vector<unsigned char>& png)
{
    if (width <= 0 || height <= 0 || rgbBottomUp.size() != static_cast<std::size_t>(width) * height * 3)
        return "the picture has no pixels";
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // zlib's fastest level: the picture is a little larger and made several times faster.
    image.flags = PNG_IMAGE_FLAG_FAST;
    // A negative stride tells libpng the rows are stored bottom-up.
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
    png_alloc_size_t size = 0;
    bool ok = png_image_write_get_memory_size(image, size, 0, rgbBottomUp.data(), stride, nullptr) != 0;
    if (ok) {
        png.resize(size);
        ok = png_image_write_to_memory(&image, png.data(), &size, 0, rgbBottomUp.data(), stride, nullptr) != 0;
        png.resize(size);
    }
    const std::string message = ok ? std::string() : std::string(image.message);
    png_image_free(&image);
    return message;
}

struct CWebpAnimation::Encoder {
    WebPAnimEncoder* encoder = nullptr;
    WebPConfig config{};
    ~Encoder()
    {
        if (encoder)
            WebPAnimEncoderDelete(encoder);
    }
};

CWebpAnimation::CWebpAnimation(int width, int height)
    : m_encoder(std::make_unique<Encoder>()), m_width(width), m_height(height)
{
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&m_encoder->config))
        return;
    options.anim_params.loop_count = 0;  // for ever
    // Lossless, with little effort spent on squeezing: a greeting of a few seconds is made
    // in seconds rather than minutes.
    WebPConfigLosslessPreset(&m_encoder->config, 1);
    m_encoder->encoder = WebPAnimEncoderNew(width, height, &options);
}

CWebpAnimation::~CWebpAnimation() = default;

std::string CWebpAnimation::Add(const std::vector<std::uint8_t>& rgbBottomUp, int startMs)
{
    if (!m_encoder->encoder)
        return "cannot start a WebP animation";
    const std::size_t row = static_cast<std::size_t>(m_width) * 3;
    if (rgbBottomUp.size() != row * static_cast<std::size_t>(m_height))
        return "the picture has no pixels";
    // WebP rows run top-down.
    std::vector<std::uint8_t> topDown(rgbBottomUp.size());
    for (int y = 0; y < m_height; ++y)
        std::memcpy(&topDown[static_cast<std::size_t>(y) * row],
                    &rgbBottomUp[static_cast<std::size_t>(m_height - 1 - y) * row], row);
    WebPPicture picture;
    if (!WebPPictureInit(&picture))
        return "cannot make a WebP frame";
    picture.use_argb = 1;
    picture.width = m_width;
    picture.height = m_height;
    std::string error;
    if (!WebPPictureImportRGB(&picture, topDown.data(), static_cast<int>(row)))
        error = "out of memory for a WebP frame";
    else if (!WebPAnimEncoderAdd(m_encoder->encoder, &picture, startMs, &m_encoder->config))
        error = WebPAnimEncoderGetError(m_encoder->encoder);
    WebPPictureFree(&picture);
    return error;
}

std::string CWebpAnimation::Finish(int endMs, std::vector<unsigned char>& webp)
{
    if (!m_encoder->encoder)
        return "cannot start a WebP animation";
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAdd(m_encoder->encoder, nullptr, endMs, nullptr) ||
        !WebPAnimEncoderAssemble(m_encoder->encoder, &data))
        return WebPAnimEncoderGetError(m_encoder->encoder);
    webp.assign(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    return {};
}
